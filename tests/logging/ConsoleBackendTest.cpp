#include "LoggingTest.h"

#include <gmock/gmock.h>

#include <string>

namespace {

using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LevelWarning;
using Tev::Framework::GenericLogger::LoggingLevel;
using Tev::Framework::GenericLogger::LogStream;
using TevTest::LoggingTest;
using ::testing::HasSubstr;

using ConsoleBackend = LoggingTest;

// Whether `output` has the line "HH:MM:SS.mmm " + `text`, ended by the platform's line end.
bool hasLine(const std::string& output, const std::string& text)
{
    const std::string shape = "00:00:00.000 ";
    for (std::size_t end = output.find('\n'), start = 0; end != std::string::npos;
         start = end + 1, end = output.find('\n', start)) {
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        bool shaped = line.size() == shape.size() + text.size();
        for (std::size_t i = 0; shaped && i < shape.size(); ++i)
            shaped = shape[i] == '0' ? line[i] >= '0' && line[i] <= '9' : line[i] == shape[i];
        if (shaped && line.compare(shape.size(), std::string::npos, text) == 0)
            return true;
    }
    return false;
}

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

    EXPECT_TRUE(hasLine(output, "warning [" + name() + "] cached before the backend")) << output;
    EXPECT_TRUE(hasLine(output, "error [" + name() + "] value 42")) << output;
    EXPECT_TRUE(hasLine(output, "debug [" + name() + "] debug line")) << output;
    EXPECT_TRUE(hasLine(output, "critical [" + name() + "] off the scale")) << output;
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
