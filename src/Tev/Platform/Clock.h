#ifndef TEV_PLATFORM_CLOCK_H
#define TEV_PLATFORM_CLOCK_H

namespace Tev::Platform {

struct TimeOfDay {
    int hour;        // 0 to 23
    int minute;      // 0 to 59
    int second;      // 0 to 60 (a leap second)
    int millisecond; // 0 to 999
};

// Reads the local time of day from the real-time clock. The broken-down time changes once
// a second and costs more than the rest of a crisis line but its write, so the last second's
// is kept (on Windows the system keeps it): one object is read by one thread at a time.
class LocalClock {
public:
    TimeOfDay now() noexcept;

private:
    long long second_ = -1; // since the epoch; -1: nothing kept yet
    int hour_ = 0;
    int minute_ = 0;
    int secondOfMinute_ = 0;
};

// The milliseconds within the current second of the real-time clock, 0 to 999.
unsigned currentMillisecond() noexcept;

} // namespace Tev::Platform

#endif
