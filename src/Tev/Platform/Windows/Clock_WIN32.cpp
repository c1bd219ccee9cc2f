#include "Tev/Platform/Clock.h"

#include <windows.h>

#include <sys/timeb.h>

namespace Tev::Platform {

TimeOfDay LocalClock::now() noexcept
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

unsigned currentMillisecond() noexcept
{
    __timeb64 now{};
    ::_ftime64_s(&now);
    return now.millitm;
}

} // namespace Tev::Platform
