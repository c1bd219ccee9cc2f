#ifndef TEV_PLATFORM_TEXTMODEWRITE_H
#define TEV_PLATFORM_TEXTMODEWRITE_H

#include <cstddef>

namespace Tev::Platform {

// Writes `data` as a file in text mode receives it, each "\n" as "\r\n", through
// `write(bytes, n)`, which writes up to n bytes and returns how many reached the file (0:
// none could). `endsInCarriageReturn` tells whether the file ends with a "\r" whose "\n"
// is missing (a write was cut between the two): a "\n" that starts `data` then reaches the
// file alone, completing that line end; it is kept true to the file. Returns how many
// bytes of `data` reached the file whole: a line end counts only once both its bytes are
// there. Needs no memory: the text is translated on the stack, a part at a time.
template <typename Write>
std::size_t writeTextMode(const char* data, std::size_t size, bool& endsInCarriageReturn, Write write)
{
    constexpr std::size_t part = 256;
    const bool completes = endsInCarriageReturn && size != 0 && data[0] == '\n';
    // How many bytes of the file the byte of `data` at `at` becomes.
    const auto bytesOf = [data, completes](std::size_t at) -> std::size_t {
        return data[at] == '\n' && !(completes && at == 0) ? 2 : 1;
    };
    std::size_t done = 0;
    while (done < size) {
        const std::size_t taken = size - done < part ? size - done : part;
        char text[2 * part];
        std::size_t length = 0;
        for (std::size_t i = done; i < done + taken; ++i) {
            if (bytesOf(i) == 2)
                text[length++] = '\r';
            text[length++] = data[i];
        }
        // A short write goes on where the text stopped, between the two bytes of a line
        // end too, until nothing more gets through.
        std::size_t sent = 0;
        for (std::size_t n = 1; sent < length && n != 0; sent += n)
            n = write(text + sent, length - sent);
        if (sent != 0)
            endsInCarriageReturn = text[sent - 1] == '\r';
        if (sent < length) {
            std::size_t whole = done;
            for (std::size_t out = bytesOf(whole); out <= sent; out += bytesOf(whole))
                ++whole;
            return whole;
        }
        done += taken;
    }
    return done;
}

} // namespace Tev::Platform

#endif
