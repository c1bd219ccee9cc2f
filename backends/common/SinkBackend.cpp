#include "SinkBackend.h"

#include <utility>

namespace TevBackends {

spdlog::level::level_enum spdlogLevel(LoggingLevel level) noexcept
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

SinkChannel::SinkChannel(const std::string& loggerName, spdlog::sink_ptr sink, spdlog::level::level_enum flushLevel)
    : logger_(loggerName, std::move(sink))
{
    logger_.set_level(spdlog::level::trace);
    logger_.flush_on(flushLevel);
}

SinkChannel::~SinkChannel() = default;

void SinkChannel::log(LoggingLevel level, const char* message)
{
    logger_.log(spdlogLevel(level), message);
}

void SinkChannel::release()
{}

SinkBackend::SinkBackend(spdlog::sink_ptr sink, spdlog::level::level_enum flushLevel)
    : sink_(std::move(sink)), flushLevel_(flushLevel)
{}

SinkBackend::~SinkBackend() = default;

LoggingChannel* SinkBackend::createChannel(const char* loggerName)
{
    std::unique_ptr<SinkChannel>& channel = channels_[loggerName];
    if (!channel)
        channel = std::make_unique<SinkChannel>(loggerName, sink_, flushLevel_);
    return channel.get();
}

} // namespace TevBackends
