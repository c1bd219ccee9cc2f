// The file backend's sink: it appends to one file and begins a new one when the file's period
// ends: by size (app.log; at MaxSize it becomes app.1.log, app.1.log becomes app.2.log, ...),
// by local day from a time of day (app_2026-12-06.log, named after the day its period began),
// or by local hour (app_2026-12-06_12.log). MaxFiles rotated files are kept beside the current
// one, those already there when the sink is made counted. A rotation never removes or
// truncates the file being written, nor a file named after a period that has not ended, and
// renames, replaces and removes regular files only. A path that is a link (/dev/stdout to a
// file too), a device or a pipe is written as it is, never rotated.
#ifndef TEV_BACKENDS_ROTATINGFILESINK_H
#define TEV_BACKENDS_ROTATINGFILESINK_H

#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace TevBackends {

struct FileRotation {
    enum Kind { BySize, Daily, Hourly, None } kind; // None: the file is written as it is
    std::size_t maxSize;                            // BySize: the bytes a file may reach, at least 1
    std::size_t maxFiles;                           // the rotated files kept beside the current one
    int hour, minute;                               // Daily: the local time of day a new file begins
};

// The time the sink rotates by; tests give it a clock of their own.
using Clock = std::function<spdlog::log_clock::time_point()>;

// What the sink does to files; tests make some of them fail: the sink asks before each one,
// and an error returned is taken as the operation's own (a Write's, after half the bytes).
enum class FileOperation { Open, Rename, Remove, Write };
using FileFaults = std::function<std::error_code(FileOperation operation, const std::string& path)>;

class RotatingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // Makes `path` absolute from the working directory, opens that file for appending, making
    // the folders it needs, then removes the rotated files beyond maxFiles. Throws
    // spdlog::spdlog_ex naming the cause when `path` names a folder, when another sink of the
    // process writes that path (through linked folders or a hard link too), or when a folder or the file
    // cannot be made; nothing is left on disk then. The path is free again when the sink is
    // destroyed.
    RotatingFileSink(const std::string& path, const FileRotation& rotation, Clock now, FileFaults faults = nullptr);
    // Writes the lines kept; those the file does not take are lost.
    ~RotatingFileSink() override;

protected:
    // Writes the line, rotating first if its period has ended. A failed write of the lines kept,
    // rename or remove leaves the current file to grow, the lines it did not take still kept (a
    // size rotation is tried again after MaxSize more bytes). A new file that cannot be opened is
    // tried again at each line while the old one takes the lines (under its new name after a
    // size rotation); lines that no file can take are counted, and the count and the reason
    // written before the next line written. Lines are kept in a buffer of 64 KiB, written when it
    // is full, at a flush, a rotation, the sink's destruction and exit(); those logged after
    // exit() wrote it (by static destructors) at once. A write that fails keeps what the file did
    // not take, to be written at the next flush or when the buffer is full; a line that finds the
    // buffer full after a failed write, and the lines still kept when a daily or hourly rotation
    // or the sink's destruction closes the file, are lost. Failures are thrown as spdlog_ex after
    // the write.
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override; // writes the lines kept

private:
    // Holds a path for one sink of the process at a time.
    class Claim {
    public:
        Claim(std::string path, RotatingFileSink& sink); // throws spdlog_ex if another sink holds it
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;

    private:
        static void writeAllKept(); // at exit(), as stdio writes its buffers

        static std::mutex mutex_;
        static Claim* first_; // the claims, newest first, through next_
        const std::string path_;
        RotatingFileSink& sink_;
        Claim* next_;
    };

    // What the rotation decides, touching no file.
    std::string periodName(spdlog::log_clock::time_point time) const;         // app_2026-12-06.log
    std::string sizeName(std::size_t index) const;                            // app.log, app.1.log, ...
    bool isOlderPeriod(const std::filesystem::path::string_type& name) const; // named after an earlier period
    bool byTime() const;                                                      // daily or hourly

    // What it does to files: each returns the failure, or "".
    std::string open(const std::string& name); // in place of the file written
    std::string rotateIfDue(std::size_t lineSize);
    std::string rotateBySize();
    std::string removeOldPeriods();
    std::error_code fault(FileOperation operation, const std::string& path) const;
    std::string keep(const spdlog::memory_buf_t& line, spdlog::log_clock::time_point time);
    std::string writeKept();
    void loseKept();

    FileRotation rotation_;
    const Clock now_;
    const FileFaults faults_;
    const std::string path_; // absolute
    std::string kept_;       // the lines not yet written to file_ (the first one perhaps begun there)
    std::vector<std::pair<std::size_t, std::size_t>> reported_; // in kept_: each report's end, the lines it counts
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose}; // unbuffered
    const Claim claim_;             // made after kept_, reported_ and file_, gone before them
    std::string stem_, extension_;  // /logs/app and .log for /logs/app.log
    std::string current_;           // the file to write
    std::string written_;           // the file written, or after a size rotation where it went
    std::size_t sinceRotation_ = 0; // BySize: the bytes written to the current file since the last rotation or try
    spdlog::log_clock::time_point minuteLooked_; // Daily, Hourly: the minute the period was last looked at in
    std::size_t lost_ = 0;                       // lines lost since the last line written
    std::string lostReason_;
};

// The sink that the settings under Tev.Backend.File. ask for (Path, Rotation, MaxSize,
// MaxFiles, RotationTime), reading the time from `now`. Throws std::invalid_argument through
// badSetting(), having checked every setting before it makes anything.
spdlog::sink_ptr fileSink(
    const Clock& now = [] { return spdlog::log_clock::now(); }, const FileFaults& faults = nullptr);

} // namespace TevBackends

#endif
