#include "Tev/Framework/GenericLogger/LoggingChannel.h"

namespace Tev::Framework::GenericLogger {

LoggingChannel::~LoggingChannel() = default;

} // namespace Tev::Framework::GenericLogger
