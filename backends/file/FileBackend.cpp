// The backend "file": every logger gets a channel that appends its messages to one
// size-rotating file, through an spdlog sink shared by all of them:
//   2026-12-06 12:04:05.123 warning [Net.Client] retrying in 2 s
// Lines at warning (40) and above are flushed at once. Settings, read from the property
// store when the backend is created:
//   Tev.Backend.File.Path      the file; default "tev-framework.log" in the working directory
//   Tev.Backend.File.MaxSize   bytes a file may reach before it is rotated; default 10485760
//   Tev.Backend.File.MaxFiles  rotated files kept (app.1.log is the newest); default 3
// A bad setting, or a file that cannot be opened, makes createBackend throw
// std::invalid_argument naming the property and its value.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <limits>
#include <memory>
#include <string>

namespace {

using namespace TevBackends;

constexpr char pathProperty[] = "Tev.Backend.File.Path";
constexpr char maxSizeProperty[] = "Tev.Backend.File.MaxSize";
constexpr char maxFilesProperty[] = "Tev.Backend.File.MaxFiles";
// spdlog's own limit.
constexpr std::size_t mostFiles = 200000;

LoggerBackend* createFileBackend()
{
    const std::string path = textSetting(pathProperty, "tev-framework.log");
    const std::size_t maxSize =
        numberSetting(maxSizeProperty, 10 * 1024 * 1024, 1, std::numeric_limits<std::size_t>::max());
    const std::size_t maxFiles = numberSetting(maxFilesProperty, 3, 0, mostFiles);

    spdlog::sink_ptr sink;
    try {
        sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path, maxSize, maxFiles);
    } catch (const spdlog::spdlog_ex& error) {
        badSetting(pathProperty, std::wstring(path.begin(), path.end()), error.what());
    }
    sink->set_formatter(std::make_unique<spdlog::pattern_formatter>("%Y-%m-%d %H:%M:%S.%e %l [%n] %v"));
    return new SinkBackend(std::move(sink), spdlog::level::warn);
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createFileBackend();
}
