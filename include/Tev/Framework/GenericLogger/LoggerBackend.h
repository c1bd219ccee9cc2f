#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGERBACKEND_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGERBACKEND_H

#include "Tev/Framework/Export.h"

namespace Tev::Framework::GenericLogger {

class LoggingChannel;

/// Gives named loggers their channels. Implemented by clients and by backend
/// libraries, whose exported `createBackend` returns a new one.
///
/// The framework calls createChannel() with the logging mutex held, when a logger is
/// created and again for every logger at every backend installation, so the same
/// name is asked for repeatedly. createChannel() and the destructor may log, but may not
/// load a backend library or close the loggers (both are refused: see Logger).
/// Writing one as a library: \ref writing_backends; the bundled ones: \ref bundled_backends.
class TEV_API LoggerBackend {
public:
    LoggerBackend() = default;
    LoggerBackend(const LoggerBackend&) = default;
    LoggerBackend& operator=(const LoggerBackend&) = default;

    /// Backends loaded from a library are deleted by Logger::closeAllLoggers().
    virtual ~LoggerBackend();

    /// A channel for the logger `loggerName` (valid only during the call), or null
    /// when this backend offers none. The framework never deletes the channel: it
    /// calls release() on it when the logger is destroyed.
    /// An exception thrown here reaches the caller of the logging operation.
    virtual LoggingChannel* createChannel(const char* loggerName) = 0;
};

} // namespace Tev::Framework::GenericLogger

#endif
