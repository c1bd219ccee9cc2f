// The file backend's sink: it appends to one file and begins a new one when the file's period
// ends: by size (app.log; at MaxSize it becomes app.1.log, app.1.log becomes app.2.log, ...),
// by local day from a time of day (app_2026-12-06.log, named after the day its period began),
// or by local hour (app_2026-12-06_12.log). MaxFiles rotated files are kept beside the current
// one, those already there when the sink is made counted. A rotation never removes or
// truncates the file being written, nor a file named after a period that has not ended.
#ifndef TEV_BACKENDS_ROTATINGFILESINK_H
#define TEV_BACKENDS_ROTATINGFILESINK_H

#include <spdlog/details/file_helper.h>
#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace TevBackends {

struct FileRotation {
    enum Kind { BySize, Daily, Hourly } kind;
    std::size_t maxSize;  // BySize: the bytes a file may reach, at least 1
    std::size_t maxFiles; // the rotated files kept beside the current one
    int hour, minute;     // Daily: the local time of day a new file begins
};

// The time the sink rotates by; tests give it a clock of their own.
using Clock = std::function<spdlog::log_clock::time_point()>;

// What the sink does to files; tests make some of them fail: the sink asks before each one,
// and an error returned is taken as the operation's own.
enum class FileOperation { Open, Rename, Remove };
using FileFaults = std::function<std::error_code(FileOperation operation, const std::string& path)>;

class RotatingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // Opens the current file for appending, making the folders it needs, then removes the
    // rotated files beyond maxFiles. Throws spdlog::spdlog_ex naming the cause when `path` names
    // a folder or a folder or the file cannot be made; nothing is left on disk then.
    RotatingFileSink(const std::string& path, const FileRotation& rotation, Clock now, FileFaults faults = nullptr);
    ~RotatingFileSink() override;

protected:
    // Writes the line, rotating first if its period has ended. A rotation that fails loses no
    // line: the current file goes on (a size rotation is tried again after MaxSize more bytes,
    // a time rotation at the next period), and spdlog_ex reports the failure after the write.
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override;

private:
    struct Period {
        std::string name;
        spdlog::log_clock::time_point end;
    };
    Period periodOf(spdlog::log_clock::time_point time) const;
    std::string sizeName(std::size_t index) const; // app.log, app.1.log, ...
    std::string rotateBySize();                    // the failure, or empty
    std::string beginPeriod();                     // the failure, or empty
    void removeOldPeriods();
    std::unique_ptr<spdlog::details::file_helper> openForAppending(const std::string& name) const;
    std::error_code fault(FileOperation operation, const std::string& path) const;

    const FileRotation rotation_;
    const Clock now_;
    const FileFaults faults_;
    std::string stem_, extension_; // app and .log for app.log
    std::string current_;          // the file being written
    std::unique_ptr<spdlog::details::file_helper> file_;
    std::size_t sinceRotation_ = 0; // BySize: the bytes written since the last rotation or try
    spdlog::log_clock::time_point periodEnd_;
};

// The sink that the settings under Tev.Backend.File. ask for (Path, Rotation, MaxSize,
// MaxFiles, RotationTime), reading the time from `now`. Throws std::invalid_argument through
// badSetting(), having checked every setting before it makes anything.
spdlog::sink_ptr fileSink(
    const Clock& now = [] { return spdlog::log_clock::now(); }, const FileFaults& faults = nullptr);

} // namespace TevBackends

#endif
