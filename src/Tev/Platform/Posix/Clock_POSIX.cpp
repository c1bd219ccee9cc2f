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
    const timespec ts = now();
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec,
                     static_cast<int>(ts.tv_nsec / 1000000)};
}

unsigned currentMillisecond() noexcept
{
    return static_cast<unsigned>(now().tv_nsec / 1000000);
}

} // namespace Tev::Platform
