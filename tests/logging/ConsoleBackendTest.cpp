#include "LoggingTest.h"

#include <gmock/gmock.h>

#include <string>

namespace {

using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LevelWarning;
using Tev::Framework::GenericLogger::LoggingLevel;
using Tev::Framework::GenericLogger::LogStream;
using TevTest::LoggingTest;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;

using ConsoleBackend = LoggingTest;

TEST_F(ConsoleBackend, WritesOneLinePerMessageWithTimeLevelAndLoggerName)
{
    Logger* log = logger();
    LogStream(log, LevelWarning) << "cached before the backend";
    ::testing::internal::CaptureStdout();
    ASSERT_NE(Logger::installBackend("console"), nullptr);
    LogStream(log, LevelError) << "value " << 42;
    log->stream() << "debug line";
    LogStream(log, static_cast<LoggingLevel>(1000)) << "off the scale";
    const std::string output = ::testing::internal::GetCapturedStdout();

    const std::string stamp = "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9] ";
    EXPECT_THAT(output, ContainsRegex(stamp + "warning \\[" + name() + "\\] cached before the backend\n"));
    EXPECT_THAT(output, ContainsRegex(stamp + "error \\[" + name() + "\\] value 42\n"));
    EXPECT_THAT(output, ContainsRegex(stamp + "debug \\[" + name() + "\\] debug line\n"));
    EXPECT_THAT(output, ContainsRegex(stamp + "critical \\[" + name() + "\\] off the scale\n"));
    // The cached message came first, replayed at installation.
    EXPECT_LT(output.find("cached before"), output.find("value 42"));
}

TEST_F(ConsoleBackend, ClosingReleasesItsChannelsAndUnloadsIt)
{
    ASSERT_NE(Logger::installBackend("console"), nullptr);
    logger("a");
    logger("b");
    EXPECT_NO_THROW(Logger::closeAllLoggers());
    ::testing::internal::CaptureStdout();
    LogStream(logger("a"), LevelError) << "nowhere to go";
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), ::testing::Not(HasSubstr("nowhere to go")));
}

} // namespace
