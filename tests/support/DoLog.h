#ifndef TEV_TESTS_DOLOG_H
#define TEV_TESTS_DOLOG_H

#include "Tev/Framework/GenericLogger/Logger.h"

namespace TevTest {

// Calls the logger's private delivery directly, as LogStream does, for the messages a
// stream never sends (level 0, a null text).
void doLog(Tev::Framework::GenericLogger::Logger* logger, Tev::Framework::GenericLogger::LoggingLevel level,
           const char* message);

} // namespace TevTest

#endif
