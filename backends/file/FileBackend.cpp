// The backend "file": every logger gets a channel that appends its messages to one
// file, through an spdlog sink shared by all of them:
//   2026-12-06 12:04:05.123 warning [Net.Client] retrying in 2 s
// Settings, read from the property store when the backend is created, under
// Tev.Backend.File.: Level, FlushLevel (warning by default) and Pattern (see
// SinkBackend.h), and
//   Path          the file; default "tev-framework.log" in the working directory
//   Rotation      size (app.log, then app.1.log, the newest, ...), daily
//                 (app_2026-12-06.log) or hourly (app_2026-12-06_12.log)
//   MaxSize       size rotation: bytes a file may reach; default 10485760
//   MaxFiles      rotated files kept beside the current one, 0 to 200000 by size, 0 to
//                 65534 by time; default 3
//   RotationTime  daily rotation: the time of day, HH:MM; default 00:00
// A bad setting, or a file that cannot be opened, makes createBackend throw
// std::invalid_argument naming the property and its value.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"

#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/hourly_file_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace {

using namespace TevBackends;

const std::string prefix = "Tev.Backend.File.";
enum Rotation : std::size_t { BySize, Daily, Hourly };

LoggerBackend* createFileBackend()
{
    LineSettings settings = lineSettings(
        prefix, {leastLevel(spdlog::level::trace), leastLevel(spdlog::level::warn), "%Y-%m-%d %H:%M:%S.%e %l [%n] %v"});
    const std::string path = textSetting(prefix + "Path", "tev-framework.log");
    const std::size_t rotation = choiceSetting(prefix + "Rotation", {"size", "daily", "hourly"});
    const std::size_t maxSize =
        numberSetting(prefix + "MaxSize", 10 * 1024 * 1024, 1, std::numeric_limits<std::size_t>::max());
    // spdlog's limits: 200000 rotated files; for time rotation 65535 files, the current one counted.
    const std::size_t maxFiles = numberSetting(prefix + "MaxFiles", 3, 0, rotation == BySize ? 200000 : 65534);
    const auto [hour, minute] = timeSetting(prefix + "RotationTime", {0, 0});

    spdlog::sink_ptr sink;
    const auto filesByTime = static_cast<std::uint16_t>(maxFiles + 1); // for time rotation only
    try {
        if (rotation == Daily)
            sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(path, hour, minute, false, filesByTime);
        else if (rotation == Hourly)
            sink = std::make_shared<spdlog::sinks::hourly_file_sink_mt>(path, false, filesByTime);
        else
            sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path, maxSize, maxFiles);
    } catch (const spdlog::spdlog_ex& error) {
        badSetting(prefix + "Path", std::wstring(path.begin(), path.end()), error.what());
    }
    return new SinkBackend(std::move(sink), std::move(settings));
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createFileBackend();
}
