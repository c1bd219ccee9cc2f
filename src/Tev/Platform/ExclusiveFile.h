#ifndef TEV_PLATFORM_EXCLUSIVEFILE_H
#define TEV_PLATFORM_EXCLUSIVEFILE_H

#include <cstddef>

namespace Tev::Platform {

// A file held open for appending by one open of one process.
struct ExclusiveFile;

// Opens `path` for reading and appending and holds it for this open alone. A missing
// file is created readable and writable by its owner only, and a file of the caller's
// own is made so; existing content stays. Refused, with null returned: a null path, a
// symbolic link or reparse point, anything but a regular file, a file that another
// user owns or that has more than one name (a hard link), a file that another open
// (in this process or another) holds, and whatever the system refuses. The file is not
// inherited by programs that this process starts. The hold lasts until closeFile().
// On Windows the hold is the share mode (others may read, not write or delete), the
// file keeps the access rights it inherits from its folder, and its owner is not checked;
// also refused, a file whose full name differs from the path's (a link on the way, such
// as a Unix link under Wine) or cannot be had (beyond MAX_PATH).
// Throws std::bad_alloc.
ExclusiveFile* openExclusiveAppend(const char* path);

// Whether the file is neither empty nor ends with a line end: its last line was cut.
bool endsMidLine(const ExclusiveFile* file) noexcept;

// Appends `size` bytes at the end of the file with one write, repeated only for what a
// short write left. Returns how many bytes reached the file. On Windows the file is
// written in text mode: each "\n" reaches it as "\r\n", and counts once both bytes have;
// a "\n" that starts `data` when the file ends with a "\r" (a write cut inside a line
// end, or a file found so) reaches it alone, completing that line end; a long text goes
// in writes of a few hundred bytes.
std::size_t appendToFile(ExclusiveFile* file, const char* data, std::size_t size) noexcept;

// Closes the file and ends the hold; null is ignored.
void closeFile(ExclusiveFile* file) noexcept;

// Where the crisis log lives on this platform.
const char* crisisLogPath() noexcept;

} // namespace Tev::Platform

#endif
