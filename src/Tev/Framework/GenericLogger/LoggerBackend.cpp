#include "Tev/Framework/GenericLogger/LoggerBackend.h"

namespace Tev::Framework::GenericLogger {

LoggerBackend::~LoggerBackend() = default;

} // namespace Tev::Framework::GenericLogger
