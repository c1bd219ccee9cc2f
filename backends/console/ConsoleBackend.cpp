// The backend "console": every logger gets a channel that writes its messages to
// standard output, one flushed line each, through an spdlog sink shared by all of them:
//   12:04:05.123 warning [Net.Client] retrying in 2 s
// Colours are used when standard output is a terminal.

#include "../common/SinkBackend.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <memory>

TEV_BACKEND_LIBRARY_EXPORT TevBackends::LoggerBackend* createBackend()
{
    auto sink = std::make_shared<spdlog::sinks::stdout_color_sink_mt>();
    sink->set_formatter(std::make_unique<spdlog::pattern_formatter>("%H:%M:%S.%e %^%l%$ [%n] %v"));
    return new TevBackends::SinkBackend(std::move(sink), spdlog::level::trace);
}
