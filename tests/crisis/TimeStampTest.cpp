#include "Tev/Framework/CrisisLogging/TimeStamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

using Tev::Framework::CrisisLogging::formatTimeStamp;
using Tev::Framework::CrisisLogging::timeStampLength;
using Tev::Platform::TimeOfDay;

// The stamp, followed by the guard bytes after it, which must stay untouched.
std::string stamped(const TimeOfDay& time)
{
    char out[timeStampLength + 4] = "";
    std::fill(std::begin(out), std::end(out), '#');
    formatTimeStamp(time, out);
    return std::string(out, sizeof out);
}

TEST(CrisisTimeStamp, PadsEveryFieldWithZeros)
{
    EXPECT_EQ(stamped({9, 5, 3, 42}), "09:05:03.042####");
    EXPECT_EQ(stamped({0, 0, 0, 7}), "00:00:00.007####");
    EXPECT_EQ(stamped({23, 59, 59, 999}), "23:59:59.999####");
    EXPECT_EQ(stamped({10, 20, 30, 100}), "10:20:30.100####");
}

TEST(CrisisTimeStamp, LeapSecondAndOutOfRangeFieldsKeepTheWidth)
{
    EXPECT_EQ(stamped({23, 59, 60, 5}), "23:59:60.005####");
    EXPECT_EQ(stamped({-1, 123, 7, 1234}), "00:23:07.234####");
}

} // namespace
