#include "Tev/Platform/ExclusiveFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Tev::Platform {

struct ExclusiveFile {
    int fd;
    bool endsMidLine;
};

namespace {

ExclusiveFile* refuse(ExclusiveFile* file) noexcept
{
    ::close(file->fd);
    delete file;
    return nullptr;
}

bool lastByteIsNotLineEnd(int fd, off_t size) noexcept
{
    if (size == 0)
        return false;
    char last = '\n';
    ssize_t got;
    do
        got = ::pread(fd, &last, 1, size - 1);
    while (got < 0 && errno == EINTR);
    return got == 1 && last != '\n';
}

} // namespace

ExclusiveFile* openExclusiveAppend(const char* path)
{
    if (path == nullptr)
        return nullptr;

    auto* file = new ExclusiveFile{-1, false};
    int& fd = file->fd;
    do
        fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        delete file;
        return nullptr;
    }

    // A FIFO or a device opens fine with O_RDWR; only a plain file of our own with one
    // name will do, so that nobody else reads what we write through a file they made.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() || status.st_nlink != 1)
        return refuse(file);

    // flock locks belong to the open file description, so a second open of the same
    // file fails here even within this process.
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return refuse(file);

    if ((status.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        return refuse(file);

    file->endsMidLine = lastByteIsNotLineEnd(fd, status.st_size);
    return file;
}

bool endsMidLine(const ExclusiveFile* file) noexcept
{
    return file->endsMidLine;
}

std::size_t appendToFile(ExclusiveFile* file, const char* data, std::size_t size) noexcept
{
    std::size_t written = 0;
    while (written < size) {
        // The system call itself, not the C library's write(), which is a cancellation
        // point: a cancel acted on here would unwind through noexcept code and end the process.
        const auto n = ::syscall(SYS_write, file->fd, data + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    return written;
}

void closeFile(ExclusiveFile* file) noexcept
{
    if (file != nullptr) {
        ::close(file->fd);
        delete file;
    }
}

const char* crisisLogPath() noexcept
{
    return "/var/tmp/tev.log";
}

} // namespace Tev::Platform
