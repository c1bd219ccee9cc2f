#ifndef TEV_FRAMEWORK_EXPORT_H
#define TEV_FRAMEWORK_EXPORT_H

// Every public header includes this one. Below C++17 the build stops here, with one clear
// line, rather than in many errors further on.
#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 201703L
#  error "the Tev Framework needs C++17 or later: compile with -std=c++17 or a later standard"
#  include <tev-framework-needs-cxx17> // nowhere: the compiler stops at once
#endif

// TEV_API marks what the library exports; everything else is hidden.
#if defined(_WIN32)
#  if defined(TEV_BUILDING_LIBRARY)
#    define TEV_API __declspec(dllexport)
#  else
#    define TEV_API __declspec(dllimport)
#  endif
#  define TEV_LOCAL
#else
#  define TEV_API __attribute__((visibility("default")))
#  define TEV_LOCAL __attribute__((visibility("hidden")))
#endif

// For the calls that sit on clients' hot paths: called through the GOT rather than a
// PLT stub, one jump fewer per call.
#if defined(__has_attribute) && !defined(_WIN32)
#  if __has_attribute(noplt)
#    define TEV_NOPLT __attribute__((noplt))
#  endif
#endif
#ifndef TEV_NOPLT
#  define TEV_NOPLT
#endif

#endif
