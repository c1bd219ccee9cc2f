#include "Tev/Platform/Clock.h"

#include <time.h>

namespace Tev::Platform {

namespace {

timespec now() noexcept
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

} // namespace

TimeOfDay localTimeOfDay() noexcept
{
    // The broken-down time changes once a second, and localtime_r costs more than
    // the rest of a crisis line but the write itself: keep the last second's per thread.
    struct LastSecond {
        time_t second = -1;
        int hour = 0, minute = 0, secondOfMinute = 0;
    };
    thread_local LastSecond last;

    const timespec ts = now();
    if (ts.tv_sec != last.second) {
        tm local{};
        ::localtime_r(&ts.tv_sec, &local);
        last = LastSecond{ts.tv_sec, local.tm_hour, local.tm_min, local.tm_sec};
    }
    return TimeOfDay{last.hour, last.minute, last.secondOfMinute, static_cast<int>(ts.tv_nsec / 1000000)};
}

unsigned currentMillisecond() noexcept
{
    return static_cast<unsigned>(now().tv_nsec / 1000000);
}

} // namespace Tev::Platform
