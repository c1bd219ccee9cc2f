#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGERBACKENDLOADERROR_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGERBACKENDLOADERROR_H

#include "Tev/Framework/GenericLogger/LoggerException.h"

namespace Tev::Framework::GenericLogger {

/// Thrown when a backend cannot be installed. Only the library constructs it;
/// clients catch it, or catch LoggerException.
class TEV_API LoggerBackendLoadError : public LoggerException {
public:
    TEV_LOCAL LoggerBackendLoadError(const char* message, const char* filename, int lineNumber);
    LoggerBackendLoadError(const LoggerBackendLoadError& other) = default;
    ~LoggerBackendLoadError() override;
};

} // namespace Tev::Framework::GenericLogger

#endif
