#ifndef TEV_FRAMEWORK_EXPORT_H
#define TEV_FRAMEWORK_EXPORT_H

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

#endif
