#include "RotatingFileSink.h"

#include "../common/JsonFormatter.h"
#include "../common/Settings.h"

#include "Tev/Framework/GenericLogger/LoggingLevel.h"

#include <spdlog/details/file_helper.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#ifndef _WIN32
#  include <fcntl.h>
#  include <unistd.h>
#endif

namespace TevBackends {

namespace fs = std::filesystem;
using spdlog::log_clock;

namespace {

// The lines kept are written when they fill this many bytes, and no more are kept while writes
// fail (a longer line alone is).
constexpr std::size_t bufferSize = 64 * 1024;

// Set once exit() has written the lines kept: the lines logged later (by static destructors and
// earlier exit handlers) are written at once, for nothing else may write them.
std::atomic<bool> exitWritten{false};

// Makes `folder` and those above it that are missing, adding each one made to `made`.
void makeFolders(const fs::path& folder, std::vector<fs::path>& made)
{
    std::vector<fs::path> missing; // the deepest first
    std::error_code error;
    for (fs::path each = folder; !each.empty() && each != each.parent_path() && !fs::is_directory(each, error);
         each = each.parent_path())
        missing.push_back(each);
    for (auto each = missing.rbegin(); each != missing.rend(); ++each) {
        if (fs::create_directory(*each, error))
            made.push_back(*each);
        else if (error)
            spdlog::throw_spdlog_ex(fmt::format("Failed making folder {}: {}", each->string(), error.message()));
    }
}

// `path` taken from the working directory, once: a later change of it changes nothing.
std::string absolutePath(const std::string& path)
{
    const fs::path file(path);
    std::error_code error;
    if (!file.has_filename() || file.filename() == "." || file.filename() == ".." || fs::is_directory(file, error))
        spdlog::throw_spdlog_ex("it names a folder");
    const fs::path absolute = fs::absolute(file, error);
    if (error)
        spdlog::throw_spdlog_ex("Failed finding the working directory: " + error.message());
    return absolute.string();
}

// The path that `path` names whatever the links in its folders: one spelling per file.
std::string claimedPath(const std::string& path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return (error ? fs::path(path).lexically_normal() : canonical).string();
}

// Whether `a` and `b` name one file through hard links too (by its device and inode; on Windows,
// where the standard library cannot tell, by path alone).
bool sameFile(const std::string& a, const std::string& b)
{
#ifndef _WIN32
    std::error_code error;
    return fs::equivalent(a, b, error);
#else
    return a == b;
#endif
}

} // namespace

std::mutex RotatingFileSink::Claim::mutex_;
RotatingFileSink::Claim* RotatingFileSink::Claim::first_ = nullptr;

RotatingFileSink::Claim::Claim(std::string path, RotatingFileSink& sink) : path_(std::move(path)), sink_(sink)
{
    [[maybe_unused]] static const int atExit = std::atexit(writeAllKept);
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Claim* each = first_; each != nullptr; each = each->next_)
        if (each->path_ == path_ || sameFile(each->path_, path_))
            spdlog::throw_spdlog_ex("another file backend of this process writes " + path_);
    next_ = first_;
    first_ = this;
}

RotatingFileSink::Claim::~Claim()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Claim** link = &first_;
    while (*link != this)
        link = &(*link)->next_;
    *link = next_;
}

// A sink whose lock is held is left as it is: on Windows, a thread stopped at the process's end may hold it.
void RotatingFileSink::Claim::writeAllKept()
{
    exitWritten = true;
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    for (const Claim* each = lock.owns_lock() ? first_ : nullptr; each != nullptr; each = each->next_)
        if (const std::unique_lock<std::mutex> sinkLock(each->sink_.mutex_, std::try_to_lock); sinkLock.owns_lock())
            each->sink_.writeKept();
}

RotatingFileSink::RotatingFileSink(const std::string& path, const FileRotation& rotation, Clock now, FileFaults faults)
    : rotation_(rotation), now_(std::move(now)), faults_(std::move(faults)), path_(absolutePath(path)),
      claim_(claimedPath(path_), *this)
{
    // Listed by its claim already: exit() on another thread skips it till it is made.
    const std::lock_guard<std::mutex> lock(mutex_);
    kept_.reserve(bufferSize);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path_, error);
    if (fs::exists(status) && !fs::is_regular_file(status))
        rotation_.kind = FileRotation::None; // a link (/dev/stdout to a file too), a device, a pipe or a socket
    std::tie(stem_, extension_) = spdlog::details::file_helper::split_by_extension(path_);
    std::vector<fs::path> made;
    try {
        makeFolders(fs::path(path_).parent_path(), made);
        const log_clock::time_point time = now_();
        minuteLooked_ = std::chrono::floor<std::chrono::minutes>(time);
        current_ = byTime() ? periodName(time) : path_;
        const std::string failure = open(current_);
        if (!failure.empty())
            spdlog::throw_spdlog_ex(failure);
        sinceRotation_ = spdlog::details::os::filesize(file_.get());
        if (byTime())
            removeOldPeriods(); // what cannot be removed is tried again at the next rotation
    } catch (...) {
        file_.reset();
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
            fs::remove(*folder, error);
        throw;
    }
}

RotatingFileSink::~RotatingFileSink()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    writeKept(); // what the file refuses now is lost: nothing is left to tell
    kept_.clear();
}

void RotatingFileSink::sink_it_(const spdlog::details::log_msg& message)
{
    spdlog::memory_buf_t line;
    formatter_->format(message, line);
    std::string failure;
    const auto add = [&failure](const std::string& another) {
        failure += failure.empty() || another.empty() ? another : "; " + another;
    };
    add(rotateIfDue(line.size()));
    if (!file_ || written_ != current_) {
        if (file_)
            add(writeKept()); // to the file of the period ended, or the old one that went on
        const std::string failed = open(current_);
        lostReason_ = failed.empty() ? lostReason_ : failed;
        add(failed.empty() && byTime() ? removeOldPeriods() : failed);
        if (!file_ && !written_.empty() && written_ != current_)
            add(open(written_)); // the old file goes on under its new name
    }
    if (!file_) {
        ++lost_;
    } else {
        add(keep(line, message.time));
        if (exitWritten.load(std::memory_order_relaxed))
            add(writeKept());
    }
    if (!failure.empty())
        spdlog::throw_spdlog_ex(failure);
}

// By size, rotates if `lineSize` more bytes would pass MaxSize; by time, names the file of the
// period begun.
std::string RotatingFileSink::rotateIfDue(std::size_t lineSize)
{
    if (rotation_.kind == FileRotation::BySize) {
        if (file_ && written_ == current_ && sinceRotation_ > 0 &&
            (sinceRotation_ > rotation_.maxSize || lineSize > rotation_.maxSize - sinceRotation_))
            return rotateBySize();
    } else if (byTime()) {
        // A period begins at a whole minute: the clock is looked at again in each new minute,
        // and after it went back, when an earlier period's name does not replace a later one.
        const log_clock::time_point now = now_();
        if (now < minuteLooked_ || now >= minuteLooked_ + std::chrono::minutes(1)) {
            minuteLooked_ = std::chrono::floor<std::chrono::minutes>(now);
            current_ = std::max(current_, periodName(now));
        }
    }
    return {};
}

// Keeps the line, after the one that says how many lines were lost and why if any were,
// writing the lines kept first when it does not fit beside them; a line that still does not
// fit is lost.
std::string RotatingFileSink::keep(const spdlog::memory_buf_t& line, log_clock::time_point time)
{
    if (lost_ == 0 && kept_.size() + line.size() < bufferSize) { // most lines
        kept_.append(line.data(), line.size());
        sinceRotation_ += written_ == current_ ? line.size() : 0;
        return {};
    }
    spdlog::memory_buf_t report;
    if (lost_ > 0) {
        if (auto* json = dynamic_cast<JsonFormatter*>(formatter_.get())) // the line's own is formatted
            json->nextLevel(Tev::Framework::GenericLogger::LevelError);
        const std::string text = fmt::format("{} {} lost: {}", lost_, lost_ == 1 ? "line" : "lines", lostReason_);
        formatter_->format(spdlog::details::log_msg(time, {}, "Tev.Backend.File", spdlog::level::err, text), report);
    }
    const std::size_t size = report.size() + line.size();
    std::string failure = kept_.size() + size > bufferSize ? writeKept() : std::string();
    if (!kept_.empty() && kept_.size() + size > bufferSize) {
        ++lost_;
        return failure;
    }
    if (kept_.capacity() < kept_.size() + size) // room first: memory failing keeps neither, the report comes later
        kept_.reserve(kept_.size() + size);
    if (report.size() > 0)
        reported_.emplace_back(kept_.size() + report.size(), lost_);
    kept_.append(report.data(), report.size()).append(line.data(), line.size());
    sinceRotation_ += written_ == current_ ? size : 0;
    lost_ = 0;
    const std::string full = kept_.size() >= bufferSize ? writeKept() : std::string();
    return failure.empty() ? full : failure;
}

void RotatingFileSink::flush_()
{
    const std::string failure = writeKept();
    if (!failure.empty())
        spdlog::throw_spdlog_ex(failure);
}

// Writes the lines kept as far as the file takes them, keeping the rest (stdio would drop
// it): "" or the failure, which becomes the reason given for lines lost next.
std::string RotatingFileSink::writeKept()
{
    if (kept_.empty())
        return {};
    std::error_code error = fault(FileOperation::Write, written_);
    const std::size_t written = std::fwrite(kept_.data(), 1, error ? kept_.size() / 2 : kept_.size(), file_.get());
    if (!error && written < kept_.size())
        error.assign(errno, std::generic_category());
    kept_.erase(0, written);
    reported_.erase(reported_.begin(), std::find_if(reported_.begin(), reported_.end(), [written](const auto& report) {
                        return report.first > written; // not written whole
                    }));
    for (auto& report : reported_)
        report.first -= written;
    if (!error)
        return {};
    std::clearerr(file_.get());
    return lostReason_ = fmt::format("Failed writing to file {}: {}", written_, error.message());
}

// Counts the lines kept as lost, one begun in the file too; a report lost gives back its count.
void RotatingFileSink::loseKept()
{
    lost_ += static_cast<std::size_t>(std::count(kept_.begin(), kept_.end(), '\n')) - reported_.size();
    for (const auto& report : reported_)
        lost_ += report.second;
    reported_.clear();
    kept_.clear();
}

std::error_code RotatingFileSink::fault(FileOperation operation, const std::string& path) const
{
    return faults_ ? faults_(operation, path) : std::error_code();
}

// In place of the file written, whose lines kept were written before if they could be: the rest is lost.
std::string RotatingFileSink::open(const std::string& name)
{
    std::error_code error = fault(FileOperation::Open, name);
    std::FILE* file = nullptr;
#ifndef _WIN32
    // A pipe that no process reads would hold the open, and so every thread's logging, for good.
    if (std::error_code notPipe; !error && fs::is_fifo(fs::status(name, notPipe))) {
        const int pipe = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (pipe < 0 && errno == ENXIO)
            return fmt::format("Failed opening file {} for writing: no process reads the pipe", name);
        if (pipe >= 0 && (::fcntl(pipe, F_SETFL, ::fcntl(pipe, F_GETFL) & ~O_NONBLOCK) != 0 ||
                          (file = ::fdopen(pipe, "ab")) == nullptr))
            ::close(pipe);
    }
#endif
    if (!error && file == nullptr) {
        spdlog::details::os::create_dir(spdlog::details::os::dir_name(name)); // made again if removed
        if (spdlog::details::os::fopen_s(&file, name, "ab"))
            error.assign(errno, std::generic_category());
    }
    if (error)
        return fmt::format("Failed opening file {} for writing: {}", name, error.message());
    std::setvbuf(file, nullptr, _IONBF, 0); // the lines are kept here: stdio drops its buffer when a write fails
    loseKept();
    file_.reset(file);
    written_ = name;
    return {};
}

// The local day from the rotation's time of day, or the local hour; a day or an hour that a
// clock change makes shorter or longer ends when the local time says so.
std::string RotatingFileSink::periodName(log_clock::time_point time) const
{
    std::tm local = spdlog::details::os::localtime(log_clock::to_time_t(time));
    if (rotation_.kind == FileRotation::Daily &&
        local.tm_hour * 60 + local.tm_min < rotation_.hour * 60 + rotation_.minute) {
        --local.tm_mday; // the day before, normalised at noon, away from any clock change
        local.tm_hour = 12;
        local.tm_isdst = -1;
        std::mktime(&local);
    }
    std::string name =
        fmt::format("{}_{:04d}-{:02d}-{:02d}", stem_, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    if (rotation_.kind == FileRotation::Hourly)
        name += fmt::format("_{:02d}", local.tm_hour);
    return name + extension_;
}

std::string RotatingFileSink::sizeName(std::size_t index) const
{
    return index == 0 ? path_ : fmt::format("{}.{}{}", stem_, index, extension_);
}

// `name` is in the system's own form, which on Windows may be no valid UTF-16: it is never
// converted.
bool RotatingFileSink::isOlderPeriod(const fs::path::string_type& name) const
{
    const fs::path::string_type prefix = fs::path(stem_ + "_").filename().native();
    const fs::path::string_type extension = fs::path(extension_).native();
    const std::string stamp = rotation_.kind == FileRotation::Daily ? "0000-00-00" : "0000-00-00_00";
    if (name.size() != prefix.size() + stamp.size() + extension.size() ||
        name >= fs::path(current_).filename().native() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const auto c = name[prefix.size() + i];
        if (stamp[i] == '0' ? c < '0' || c > '9' : c != stamp[i])
            return false;
    }
    return true;
}

// The lines kept written, app.N-1 becomes app.N (replacing it), ..., app becomes app.1; with no
// file kept, app is removed. The first step that fails stops the rest, so that no file replaces
// one not moved on, and no line kept is lost to a file still written.
std::string RotatingFileSink::rotateBySize()
{
    sinceRotation_ = 0;
    if (std::string unwritten = writeKept(); !unwritten.empty())
        return unwritten;
    file_.reset(); // closed: an open file cannot be renamed everywhere
    std::error_code error;
    if (rotation_.maxFiles == 0 && !(error = fault(FileOperation::Remove, current_)) && fs::remove(current_, error))
        written_.clear();
    if (error)
        return fmt::format("Failed removing {}: {}", current_, error.message());
    for (std::size_t index = rotation_.maxFiles; index > 0; --index) {
        const std::string from = sizeName(index - 1);
        const std::string to = sizeName(index);
        if (!fs::is_regular_file(fs::symlink_status(from, error)))
            continue;
        // A rename replaces a link, a pipe or a socket in the way, which is not the sink's.
        if (const fs::file_status inTheWay = fs::symlink_status(to, error);
            fs::exists(inTheWay) && !fs::is_regular_file(inTheWay))
            error = std::make_error_code(std::errc::file_exists);
        else if (!(error = fault(FileOperation::Rename, from)))
            fs::rename(from, to, error);
        if (error)
            return fmt::format("Failed renaming {} to {}: {}", from, to, error.message());
        if (index == 1)
            written_ = to;
    }
    return {};
}

bool RotatingFileSink::byTime() const
{
    return rotation_.kind == FileRotation::Daily || rotation_.kind == FileRotation::Hourly;
}

// Removes the files named after periods before the current one, the newest maxFiles kept. One
// that cannot be removed is left for the next rotation.
std::string RotatingFileSink::removeOldPeriods()
{
    const fs::path folder = fs::path(current_).parent_path();
    std::vector<fs::path> older;
    std::error_code error;
    std::error_code notRegular;
    for (fs::directory_iterator each(folder, error); !error && each != fs::directory_iterator(); each.increment(error))
        if (isOlderPeriod(each->path().filename().native()) && fs::is_regular_file(each->symlink_status(notRegular)))
            older.push_back(each->path().filename());
    std::sort(older.begin(), older.end(), std::greater<>());
    std::string failure;
    for (std::size_t i = rotation_.maxFiles; i < older.size(); ++i) {
        const std::string file = (folder / older[i]).string();
        if (!(error = fault(FileOperation::Remove, file)))
            fs::remove(file, error);
        if (error && failure.empty())
            failure = fmt::format("Failed removing {}: {}", file, error.message());
    }
    return failure;
}

spdlog::sink_ptr fileSink(const Clock& now, const FileFaults& faults)
{
    const std::string prefix = "Tev.Backend.File.";
    const std::string path = textSetting(prefix + "Path", "tev-framework.log");
    const auto kind = static_cast<FileRotation::Kind>(choiceSetting(prefix + "Rotation", {"size", "daily", "hourly"}));
    const std::size_t maxSize =
        numberSetting(prefix + "MaxSize", 10 * 1024 * 1024, 1, std::numeric_limits<std::size_t>::max());
    // A size rotation renames every file kept, under the logging mutex: 1000 take milliseconds.
    const std::size_t maxFiles = numberSetting(prefix + "MaxFiles", 3, 0, kind == FileRotation::BySize ? 1000 : 65534);
    const auto [hour, minute] = timeSetting(prefix + "RotationTime", {0, 0});
    try {
        return std::make_shared<RotatingFileSink>(path, FileRotation{kind, maxSize, maxFiles, hour, minute}, now,
                                                  faults);
    } catch (const spdlog::spdlog_ex& error) {
        badSetting(prefix + "Path", std::wstring(path.begin(), path.end()), error.what());
    }
}

} // namespace TevBackends
