#include "Tev/Framework/GenericLogger/LoggerBackendLoadError.h"

namespace Tev::Framework::GenericLogger {

LoggerBackendLoadError::LoggerBackendLoadError(const char* message, const char* filename, int lineNumber)
    : LoggerException(message, filename, lineNumber)
{}

LoggerBackendLoadError::~LoggerBackendLoadError() = default;

} // namespace Tev::Framework::GenericLogger
