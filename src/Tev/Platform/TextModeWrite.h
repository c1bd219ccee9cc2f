#ifndef TEV_PLATFORM_TEXTMODEWRITE_H
#define TEV_PLATFORM_TEXTMODEWRITE_H

#include <cstddef>

namespace Tev::Platform {

// Writes `data` as a file in text mode receives it, each "\n" as "\r\n", through
// `write(bytes, n)`, which writes up to n bytes and returns how many reached the file (0:
// none could). Returns how many bytes of `data` reached the file whole: a line end counts
// only once both its bytes are there. Needs no memory: the text is translated on the
// stack, a part at a time.
template <typename Write>
std::size_t writeTextMode(const char* data, std::size_t size, Write write)
{
    constexpr std::size_t part = 256;
    std::size_t done = 0;
    while (done < size) {
        const std::size_t taken = size - done < part ? size - done : part;
        char text[2 * part];
        std::size_t length = 0;
        for (std::size_t i = 0; i < taken; ++i) {
            if (data[done + i] == '\n')
                text[length++] = '\r';
            text[length++] = data[done + i];
        }
        // A short write goes on where the text stopped, between the two bytes of a line
        // end too, until nothing more gets through.
        std::size_t sent = 0;
        for (std::size_t n = 1; sent < length && n != 0; sent += n)
            n = write(text + sent, length - sent);
        if (sent < length) {
            std::size_t whole = 0;
            for (std::size_t out = 0; whole < taken; ++whole) {
                out += data[done + whole] == '\n' ? 2 : 1;
                if (out > sent)
                    break;
            }
            return done + whole;
        }
        done += taken;
    }
    return done;
}

} // namespace Tev::Platform

#endif
