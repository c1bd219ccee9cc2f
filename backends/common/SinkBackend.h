// A backend whose channels all write to one spdlog sink: one spdlog logger per logger
// name, so that each line can carry the logger's name. Shared by the bundled backends.
//
// The framework asks for a channel for every logger at each backend installation and
// forgets the previous one without releasing it, and releases each channel it holds
// once, when its logger is closed. So the backend keeps one channel per logger name,
// hands that one out again, lets release() keep it, and frees them all when it is
// destroyed (after the framework released every channel it held).
#ifndef TEV_BACKENDS_SINKBACKEND_H
#define TEV_BACKENDS_SINKBACKEND_H

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <spdlog/common.h>
#include <spdlog/logger.h>

#include <map>
#include <memory>
#include <string>

namespace TevBackends {

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

// Our levels are any 32-bit value; spdlog's are six steps:
// below 10 trace, 10-19 debug, 20-39 info, 40-49 warn, 50-59 err, 60 and above critical.
spdlog::level::level_enum spdlogLevel(LoggingLevel level) noexcept;

class SinkChannel : public LoggingChannel {
public:
    SinkChannel(const std::string& loggerName, spdlog::sink_ptr sink, spdlog::level::level_enum flushLevel);
    ~SinkChannel() override;

    void log(LoggingLevel level, const char* message) override;
    // The channel stays with its backend, which may hand it out again.
    void release() override;

private:
    spdlog::logger logger_;
};

class SinkBackend : public LoggerBackend {
public:
    // Lines at `flushLevel` and above are flushed at once.
    SinkBackend(spdlog::sink_ptr sink, spdlog::level::level_enum flushLevel);
    ~SinkBackend() override;

    // The channel of `loggerName`, the same one on every call.
    LoggingChannel* createChannel(const char* loggerName) override;

private:
    spdlog::sink_ptr sink_;
    spdlog::level::level_enum flushLevel_;
    std::map<std::string, std::unique_ptr<SinkChannel>> channels_;
};

} // namespace TevBackends

#endif
