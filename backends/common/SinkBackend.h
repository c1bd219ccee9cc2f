// A backend whose channels all write to one spdlog sink: one spdlog logger per logger
// name, so that each line can carry the logger's name, kept as KeptChannels.h says.
// Shared by the bundled backends.
#ifndef TEV_BACKENDS_SINKBACKEND_H
#define TEV_BACKENDS_SINKBACKEND_H

#include "JsonFormatter.h"
#include "KeptChannels.h"

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <spdlog/common.h>
#include <spdlog/details/os.h>
#include <spdlog/logger.h>

#include <cstdint>
#include <string>

namespace TevBackends {

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

// Our levels are any 32-bit value; spdlog's are six steps, each from its least level on:
// trace (below 10), debug 10, info 20, warning 40, error 50, critical 60.
spdlog::level::level_enum spdlogLevel(LoggingLevel level) noexcept;
// The least of our levels that `step` stands for; above every level for off.
std::int64_t leastLevel(spdlog::level::level_enum step) noexcept;

// What every bundled backend reads under its prefix ("Tev.Backend.File."): Level,
// FlushLevel, Pattern and Format (text or json; a backend that has no Format refuses it
// before, as a setting it does not know).
struct LineSettings {
    std::int64_t level;      // lines below it are not written
    std::int64_t flushLevel; // lines at and above it are flushed at once
    std::string pattern;     // spdlog's pattern syntax; none for JSON lines
    bool json = false;       // JSON lines (JsonFormatter.h) instead of the pattern's
};
// The settings under `prefix`, each one not set taken from `defaults`. A Pattern beside
// Format json is refused.
LineSettings lineSettings(const std::string& prefix, const LineSettings& defaults);

class SinkChannel : public KeptChannel {
public:
    // `json`: the sink's formatter when it writes JSON lines, told each message's level.
    SinkChannel(const std::string& loggerName, spdlog::sink_ptr sink, const LineSettings& settings,
                JsonFormatter* json);
    ~SinkChannel() override;

    void log(LoggingLevel level, const char* message) override;

private:
    spdlog::logger logger_;
    const std::int64_t level_;
    const std::int64_t flushLevel_;
    JsonFormatter* const json_;
};

class SinkBackend : public LoggerBackend {
public:
    // Gives `sink` the settings' pattern, or the JSON formatter, each line ended by `lineEnd`.
    SinkBackend(spdlog::sink_ptr sink, LineSettings settings,
                const std::string& lineEnd = spdlog::details::os::default_eol);
    ~SinkBackend() override;

    // The channel of `loggerName`, the same one on every call.
    LoggingChannel* createChannel(const char* loggerName) override;

private:
    spdlog::sink_ptr sink_;
    const LineSettings settings_;
    JsonFormatter* json_ = nullptr; // the sink's formatter, in JSON lines
    KeptChannels channels_;
};

} // namespace TevBackends

#endif
