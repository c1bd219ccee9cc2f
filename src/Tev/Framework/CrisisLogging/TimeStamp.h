#ifndef TEV_FRAMEWORK_CRISISLOGGING_TIMESTAMP_H
#define TEV_FRAMEWORK_CRISISLOGGING_TIMESTAMP_H

#include "Tev/Platform/Clock.h"

#include <cstddef>

namespace Tev::Framework::CrisisLogging {

// "HH:MM:SS.mmm"
inline constexpr std::size_t timeStampLength = 12;

namespace detail {

// `width` decimal digits of `value`, zero-padded; a wider value keeps its low digits,
// a negative one reads as 0.
inline char* putDigits(char* out, int value, std::size_t width) noexcept
{
    unsigned rest = value < 0 ? 0U : static_cast<unsigned>(value);
    for (std::size_t i = width; i > 0; --i) {
        out[i - 1] = static_cast<char>('0' + rest % 10U);
        rest /= 10U;
    }
    return out + width;
}

} // namespace detail

// Writes the time stamp of `time` to out[0..timeStampLength), without a NUL.
inline void formatTimeStamp(const Platform::TimeOfDay& time, char* out) noexcept
{
    out = detail::putDigits(out, time.hour, 2);
    *out++ = ':';
    out = detail::putDigits(out, time.minute, 2);
    *out++ = ':';
    out = detail::putDigits(out, time.second, 2);
    *out++ = '.';
    detail::putDigits(out, time.millisecond, 3);
}

} // namespace Tev::Framework::CrisisLogging

#endif
