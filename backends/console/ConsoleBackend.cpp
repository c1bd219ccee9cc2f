// The backend "console": every logger gets a channel that writes its messages to
// standard output, one flushed line each, through an spdlog sink shared by all of them:
//   12:04:05.123 warning [Net.Client] retrying in 2 s
// Colours are used when standard output is a terminal.

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <memory>
#include <string>

namespace {

using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LoggingChannel;
using Tev::Framework::GenericLogger::LoggingLevel;

// Our levels are any 32-bit value; spdlog's are six steps.
spdlog::level::level_enum spdlogLevel(LoggingLevel level)
{
    const int value = static_cast<int>(level);
    if (value < 10)
        return spdlog::level::trace;
    if (value < 20)
        return spdlog::level::debug;
    if (value < 40)
        return spdlog::level::info;
    if (value < 50)
        return spdlog::level::warn;
    if (value < 60)
        return spdlog::level::err;
    return spdlog::level::critical;
}

class ConsoleChannel : public LoggingChannel {
public:
    ConsoleChannel(const char* loggerName, spdlog::sink_ptr sink) : logger_(loggerName, std::move(sink))
    {
        logger_.set_level(spdlog::level::trace);
        logger_.set_pattern("%H:%M:%S.%e %^%l%$ [%n] %v");
    }

    void log(LoggingLevel level, const char* message) override { logger_.log(spdlogLevel(level), message); }

    void release() override { delete this; }

private:
    spdlog::logger logger_;
};

class ConsoleBackend : public LoggerBackend {
public:
    LoggingChannel* createChannel(const char* loggerName) override { return new ConsoleChannel(loggerName, sink_); }

private:
    // The channels share one sink, and with it one lock and one stream.
    spdlog::sink_ptr sink_ = std::make_shared<spdlog::sinks::stdout_color_sink_mt>();
};

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return new ConsoleBackend;
}
