#include "Recording.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

namespace {

using namespace TevTest;

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
    std::istringstream output(::testing::internal::GetCapturedStdout());
    std::string unstamped; // each line after its "HH:MM:SS.mmm " (the line end may be CR LF)
    for (std::string line; std::getline(output, line);) {
        const std::string shape = "00:00:00.000 ";
        for (std::size_t i = 0; i < shape.size(); ++i)
            EXPECT_TRUE(i < line.size() && (shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                                            : line[i] == shape[i]))
                << line;
        unstamped +=
            line.substr(std::min(line.size(), shape.size()), line.find_last_not_of('\r') + 1 - shape.size()) + "\n";
    }
    EXPECT_EQ(unstamped, "warning [Net.Client] cached before the backend\nerror [Net.Client] value 42\n"
                         "debug [Net.Client] debug line\ncritical [Net.Client] off the scale\n");
    resetLogging();
}

} // namespace
