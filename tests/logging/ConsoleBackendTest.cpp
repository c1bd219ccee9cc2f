#include "Recording.h"

#include <gmock/gmock.h>

namespace {

using namespace TevTest;
using ::testing::ContainsRegex;

TEST(ConsoleBackend, WritesOneLinePerMessageWithTimeLevelAndLoggerNameUntilClosed)
{
    resetLogging();
    Logger* log = Logger::getLogger("Net.Client");
    LogStream(log, LevelWarning) << "cached before the backend";
    ::testing::internal::CaptureStdout();
    ASSERT_NE(Logger::installBackend("console"), nullptr);
    LogStream(log, LevelError) << "value " << 42;
    log->stream() << "debug line";
    LogStream(log, static_cast<LoggingLevel>(1000)) << "off the scale";
    Logger::closeAllLoggers();
    LogStream(Logger::getLogger("Net.Client"), LevelError) << "nowhere to go";
    const std::string output = ::testing::internal::GetCapturedStdout();

    const std::string stamp = "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9] ";
    EXPECT_THAT(output, ContainsRegex("^" + stamp + "warning \\[Net.Client\\] cached before the backend\n"
                                      + stamp + "error \\[Net.Client\\] value 42\n"
                                      + stamp + "debug \\[Net.Client\\] debug line\n"
                                      + stamp + "critical \\[Net.Client\\] off the scale\n$"));
    resetLogging();
}

} // namespace
