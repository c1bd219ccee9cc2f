#ifndef TEV_PLATFORM_EXCLUSIVEFILE_H
#define TEV_PLATFORM_EXCLUSIVEFILE_H

#include <cstdio>

namespace Tev::Platform {

// Opens `path` for reading and appending ("a+") and holds it for this open file alone.
// A missing file is created readable and writable by its owner only; existing content
// stays and every write goes to the end. Refused, with null returned: a path that is a
// symbolic link, a directory or anything but a regular file, a file that another open
// (in this process or another) holds, a null path, and whatever the system refuses.
// The descriptor is not inherited by programs that this process runs.
// The hold lasts until the stream is closed or the process ends.
std::FILE* openExclusiveAppend(const char* path) noexcept;

// Where the crisis log lives on this platform.
const char* crisisLogPath() noexcept;

} // namespace Tev::Platform

#endif
