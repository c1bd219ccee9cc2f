#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGINGLEVEL_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGINGLEVEL_H

#include "Tev/Framework/Export.h"

#include <cstdint>

namespace Tev::Framework::GenericLogger {

/// A message's importance: larger is more important. Every 32-bit value is a valid
/// level and is handed on unchanged; the named ones are those the library gives a
/// meaning to, plus the usual steps between them.
enum LoggingLevel : std::int32_t {
    LevelNone = 0,   ///< never delivered at once: cached until the next backend installation
    LevelDebug = 10, ///< the level of Logger::stream()
    LevelInfo = 20,
    LevelNotice = 30,
    LevelWarning = 40, ///< the level of the cache-overflow notice
    LevelError = 50,   ///< the threshold every new logger starts with
    LevelFatal = 60
};

} // namespace Tev::Framework::GenericLogger

#endif
