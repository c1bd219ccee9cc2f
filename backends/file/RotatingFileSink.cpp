#include "RotatingFileSink.h"

#include "../common/Settings.h"

#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

namespace TevBackends {

namespace fs = std::filesystem;
using spdlog::log_clock;
using spdlog::details::file_helper;

namespace {

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

} // namespace

RotatingFileSink::RotatingFileSink(const std::string& path, const FileRotation& rotation, Clock now, FileFaults faults)
    : rotation_(rotation), now_(std::move(now)), faults_(std::move(faults))
{
    const fs::path file(path);
    std::error_code error;
    if (!file.has_filename() || file.filename() == "." || file.filename() == ".." || fs::is_directory(file, error))
        spdlog::throw_spdlog_ex("it names a folder");
    std::tie(stem_, extension_) = file_helper::split_by_extension(path);
    std::vector<fs::path> made;
    try {
        makeFolders(file.parent_path(), made);
        if (rotation_.kind == FileRotation::BySize) {
            current_ = path;
            file_ = openForAppending(current_);
            sinceRotation_ = file_->size();
        } else {
            const Period period = periodOf(now_());
            current_ = period.name;
            periodEnd_ = period.end;
            file_ = openForAppending(current_);
        }
    } catch (...) {
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
            fs::remove(*folder, error);
        throw;
    }
    if (rotation_.kind != FileRotation::BySize)
        removeOldPeriods();
}

RotatingFileSink::~RotatingFileSink() = default;

std::error_code RotatingFileSink::fault(FileOperation operation, const std::string& path) const
{
    return faults_ ? faults_(operation, path) : std::error_code();
}

std::unique_ptr<file_helper> RotatingFileSink::openForAppending(const std::string& name) const
{
    if (const std::error_code error = fault(FileOperation::Open, name))
        spdlog::throw_spdlog_ex(fmt::format("Failed opening file {} for writing: {}", name, error.message()));
    auto file = std::make_unique<file_helper>();
    file->open(name);
    return file;
}

void RotatingFileSink::sink_it_(const spdlog::details::log_msg& message)
{
    spdlog::memory_buf_t line;
    formatter_->format(message, line);
    std::string failure;
    if (rotation_.kind == FileRotation::BySize) {
        if (sinceRotation_ > 0 &&
            (sinceRotation_ > rotation_.maxSize || line.size() > rotation_.maxSize - sinceRotation_))
            failure = rotateBySize();
        sinceRotation_ += line.size();
    } else if (now_() >= periodEnd_) {
        failure = beginPeriod();
    }
    if (file_)
        file_->write(line);
    else if (failure.empty())
        failure = fmt::format("Failed writing to file {}: it could not be opened again", current_);
    if (!failure.empty())
        spdlog::throw_spdlog_ex(failure);
}

void RotatingFileSink::flush_()
{
    if (file_)
        file_->flush();
}

// The period is the local hour, or the local day from the rotation's time of day; a day or an
// hour that a clock change makes shorter or longer ends when the local time says so.
RotatingFileSink::Period RotatingFileSink::periodOf(log_clock::time_point time) const
{
    const std::time_t now = log_clock::to_time_t(time);
    std::tm begin = spdlog::details::os::localtime(now);
    begin.tm_sec = 0;
    if (rotation_.kind == FileRotation::Daily) {
        begin.tm_hour = rotation_.hour;
        begin.tm_min = rotation_.minute;
        begin.tm_isdst = -1;
        std::tm today = begin;
        if (std::mktime(&today) > now)
            --begin.tm_mday;
    } else {
        begin.tm_min = 0;
    }
    std::tm end = begin;
    ++(rotation_.kind == FileRotation::Daily ? end.tm_mday : end.tm_hour);
    end.tm_isdst = -1;
    const std::time_t endTime = std::max(std::mktime(&end), now + 1);
    std::mktime(&begin); // the date normalised: the day before the 1st is the last of the month before
    std::string name =
        fmt::format("{}_{:04d}-{:02d}-{:02d}", stem_, begin.tm_year + 1900, begin.tm_mon + 1, begin.tm_mday);
    if (rotation_.kind == FileRotation::Hourly)
        name += fmt::format("_{:02d}", begin.tm_hour);
    return {name + extension_, log_clock::from_time_t(endTime)};
}

std::string RotatingFileSink::sizeName(std::size_t index) const
{
    return index == 0 ? current_ : fmt::format("{}.{}{}", stem_, index, extension_);
}

// app.N-1 becomes app.N (replacing it), ..., app becomes app.1; with no file kept, app is
// removed. The first step that fails stops the rest, so that no file replaces one not moved on.
std::string RotatingFileSink::rotateBySize()
{
    sinceRotation_ = 0;
    file_.reset(); // closed: an open file cannot be renamed everywhere
    std::error_code error;
    std::string failure;
    if (rotation_.maxFiles == 0 && !(error = fault(FileOperation::Remove, current_)))
        fs::remove(current_, error);
    if (error)
        failure = fmt::format("Failed removing {}: {}", current_, error.message());
    for (std::size_t index = rotation_.maxFiles; index > 0 && failure.empty(); --index) {
        const std::string from = sizeName(index - 1);
        const std::string to = sizeName(index);
        if (!spdlog::details::os::path_exists(from))
            continue;
        if (!(error = fault(FileOperation::Rename, from)))
            fs::rename(from, to, error);
        if (error)
            failure = fmt::format("Failed renaming {} to {}: {}", from, to, error.message());
    }
    try {
        file_ = openForAppending(current_);
    } catch (const spdlog::spdlog_ex& error) {
        failure = error.what();
    }
    return failure;
}

// The new period's file is opened before the current one is let go; if it cannot be, the
// current one goes on until the next period. (A local hour that comes twice when the clocks go
// back names the file being written again: it is opened again, for appending.)
std::string RotatingFileSink::beginPeriod()
{
    const Period period = periodOf(now_());
    periodEnd_ = period.end;
    try {
        file_ = openForAppending(period.name);
        current_ = period.name;
    } catch (const spdlog::spdlog_ex& error) {
        return error.what();
    }
    removeOldPeriods();
    return {};
}

// Removes the files named after periods before the current one, the newest maxFiles kept. One
// that cannot be removed is left for the next rotation.
void RotatingFileSink::removeOldPeriods()
{
    const fs::path current(current_);
    const fs::path folder = current.has_parent_path() ? current.parent_path() : fs::path(".");
    const std::string currentName = current.filename().string();
    const std::string prefix = fs::path(stem_).filename().string() + "_";
    const std::string stamp = rotation_.kind == FileRotation::Daily ? "0000-00-00" : "0000-00-00_00";
    const auto isOlderPeriod = [&](const std::string& name) {
        if (name.size() != prefix.size() + stamp.size() + extension_.size() || name >= currentName ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - extension_.size(), extension_.size(), extension_) != 0)
            return false;
        for (std::size_t i = 0; i < stamp.size(); ++i) {
            const char c = name[prefix.size() + i];
            if (stamp[i] == '0' ? c < '0' || c > '9' : c != stamp[i])
                return false;
        }
        return true;
    };
    std::vector<std::string> older;
    std::error_code error;
    for (fs::directory_iterator each(folder, error); !error && each != fs::directory_iterator();
         each.increment(error)) {
        const std::string name = each->path().filename().string();
        if (isOlderPeriod(name) && each->is_regular_file(error))
            older.push_back(name);
    }
    std::sort(older.begin(), older.end(), std::greater<>());
    for (std::size_t i = rotation_.maxFiles; i < older.size(); ++i)
        if (!fault(FileOperation::Remove, (folder / older[i]).string()))
            fs::remove(folder / older[i], error);
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
