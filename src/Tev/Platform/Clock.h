#ifndef TEV_PLATFORM_CLOCK_H
#define TEV_PLATFORM_CLOCK_H

namespace Tev::Platform {

struct TimeOfDay {
    int hour;        // 0 to 23
    int minute;      // 0 to 59
    int second;      // 0 to 60 (a leap second)
    int millisecond; // 0 to 999
};

// The local time of day, read from the real-time clock.
TimeOfDay localTimeOfDay() noexcept;

// The milliseconds within the current second of the real-time clock, 0 to 999.
unsigned currentMillisecond() noexcept;

} // namespace Tev::Platform

#endif
