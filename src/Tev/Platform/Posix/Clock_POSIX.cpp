#include "Tev/Platform/Clock.h"

#include <time.h>

namespace Tev::Platform {

namespace {

timespec realTime() noexcept
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

} // namespace

TimeOfDay LocalClock::now() noexcept
{
    const timespec ts = realTime();
    if (ts.tv_sec != second_) {
        tm local{};
        ::localtime_r(&ts.tv_sec, &local);
        second_ = ts.tv_sec;
        hour_ = local.tm_hour;
        minute_ = local.tm_min;
        secondOfMinute_ = local.tm_sec;
    }
    return TimeOfDay{hour_, minute_, secondOfMinute_, static_cast<int>(ts.tv_nsec / 1000000)};
}

unsigned currentMillisecond() noexcept
{
    return static_cast<unsigned>(realTime().tv_nsec / 1000000);
}

} // namespace Tev::Platform
