#ifndef TEV_FRAMEWORK_GENERICLOGGER_BACKENDLIBRARY_H
#define TEV_FRAMEWORK_GENERICLOGGER_BACKENDLIBRARY_H

/// \file
/// For backend libraries: a backend named N is the library N_ru.so (N_ru.dll on
/// Windows), which exports its factory under the plain name createBackend:
/// \code
/// TEV_BACKEND_LIBRARY_EXPORT Tev::Framework::GenericLogger::LoggerBackend* createBackend()
/// {
///     return new MyBackend;   // a new object on every call, or null
/// }
/// \endcode
/// The framework owns and deletes each backend it gets, once per call.

#include "Tev/Framework/GenericLogger/LoggerBackend.h"
#include "Tev/Framework/GenericLogger/LoggingChannel.h"

#if defined(_WIN32)
#  define TEV_BACKEND_LIBRARY_EXPORT extern "C" __declspec(dllexport)
#else
#  define TEV_BACKEND_LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif
