// The backend "console": every logger gets a channel that writes its messages to
// standard output, one flushed line each, through an spdlog sink shared by all of them:
//   12:04:05.123 warning [Net.Client] retrying in 2 s
// Settings, read from the property store when the backend is created, under
// Tev.Backend.Console.: Level, FlushLevel, Pattern and Format (see SinkBackend.h); Stream,
// stdout or stderr; Colour, auto (on a terminal), always or never. JSON lines (Format json)
// are never coloured, and Colour always is refused beside them.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"

#include <spdlog/sinks/stdout_color_sinks.h>

#include <memory>

namespace {

using namespace TevBackends;

LoggerBackend* createConsoleBackend()
{
    const std::string prefix = "Tev.Backend.Console.";
    refuseUnknownSettings(prefix, {"Level", "FlushLevel", "Pattern", "Format", "Stream", "Colour"});
    LineSettings settings = lineSettings(
        prefix, {leastLevel(spdlog::level::trace), leastLevel(spdlog::level::trace), "%H:%M:%S.%e %^%l%$ [%n] %v"});
    const bool toStandardError = choiceSetting(prefix + "Stream", {"stdout", "stderr"}) == 1;
    const spdlog::color_mode modes[] = {spdlog::color_mode::automatic, spdlog::color_mode::always,
                                        spdlog::color_mode::never};
    const std::size_t colourChoice = choiceSetting(prefix + "Colour", {"auto", "always", "never"});
    if (settings.json && colourChoice == 1)
        badSetting(prefix + "Colour", L"always", "JSON lines have no pattern and no colours");
    const spdlog::color_mode colour = settings.json ? spdlog::color_mode::never : modes[colourChoice];
    spdlog::sink_ptr sink;
    if (toStandardError)
        sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>(colour);
    else
        sink = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(colour);
    return new SinkBackend(std::move(sink), std::move(settings));
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createConsoleBackend();
}
