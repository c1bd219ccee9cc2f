#include "Tev/Platform/ExclusiveFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tev::Platform {

namespace {

std::FILE* refuse(int fd) noexcept
{
    ::close(fd);
    return nullptr;
}

} // namespace

std::FILE* openExclusiveAppend(const char* path) noexcept
{
    if (path == nullptr)
        return nullptr;

    int fd;
    do
        fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;

    // A FIFO or a device opens fine with O_RDWR; only a plain file will do.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return refuse(fd);

    // flock locks belong to the open file description, so a second open of the same
    // file fails here even within this process.
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return refuse(fd);

    std::FILE* file = ::fdopen(fd, "a+");
    return file != nullptr ? file : refuse(fd);
}

const char* crisisLogPath() noexcept
{
    return "/var/tmp/tev.log";
}

} // namespace Tev::Platform
