#include "SinkBackend.h"

#include "Settings.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/sink.h>

#include <limits>
#include <memory>
#include <utility>

namespace TevBackends {

namespace {

// The least level of each of spdlog's steps, trace to off.
constexpr std::int64_t leastLevels[] = {std::numeric_limits<std::int32_t>::min(),
                                        10,
                                        20,
                                        40,
                                        50,
                                        60,
                                        std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1};

} // namespace

spdlog::level::level_enum spdlogLevel(LoggingLevel level) noexcept
{
    int step = spdlog::level::critical;
    while (level < leastLevels[step])
        --step;
    return static_cast<spdlog::level::level_enum>(step);
}

std::int64_t leastLevel(spdlog::level::level_enum step) noexcept
{
    return leastLevels[step];
}

LineSettings lineSettings(const std::string& prefix, const LineSettings& defaults)
{
    const bool json = choiceSetting(prefix + "Format", {"text", "json"}) == 1;
    if (json)
        refuseSetting(prefix + "Pattern", "JSON lines have no pattern and no colours");
    return {levelSetting(prefix + "Level", defaults.level), levelSetting(prefix + "FlushLevel", defaults.flushLevel),
            json ? std::string() : textSetting(prefix + "Pattern", defaults.pattern), json};
}

SinkChannel::SinkChannel(const std::string& loggerName, spdlog::sink_ptr sink, const LineSettings& settings,
                         JsonFormatter* json)
    : logger_(loggerName, std::move(sink)), level_(settings.level), flushLevel_(settings.flushLevel), json_(json)
{
    logger_.set_level(spdlog::level::trace);
}

SinkChannel::~SinkChannel() = default;

void SinkChannel::log(LoggingLevel level, const char* message)
{
    if (level < level_)
        return;
    if (json_ != nullptr)
        json_->nextLevel(level);
    logger_.log(spdlogLevel(level), message);
    if (level >= flushLevel_)
        logger_.flush();
}

SinkBackend::SinkBackend(spdlog::sink_ptr sink, LineSettings settings, const std::string& lineEnd)
    : sink_(std::move(sink)), settings_(std::move(settings))
{
    if (settings_.json) {
        auto formatter = std::make_unique<JsonFormatter>(lineEnd);
        json_ = formatter.get();
        sink_->set_formatter(std::move(formatter));
    } else {
        sink_->set_formatter(
            std::make_unique<spdlog::pattern_formatter>(settings_.pattern, spdlog::pattern_time_type::local, lineEnd));
    }
}

SinkBackend::~SinkBackend() = default;

LoggingChannel* SinkBackend::createChannel(const char* loggerName)
{
    return channels_.get(
        loggerName, [this](const std::string& name) { return std::make_unique<SinkChannel>(name, sink_, settings_, json_); });
}

} // namespace TevBackends
