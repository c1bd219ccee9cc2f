#include "LoggingTest.h"

#include <climits>
#include <stdexcept>

namespace {

using Tev::Framework::GenericLogger::LevelDebug;
using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LoggingLevel;
using TevTest::LoggingTest;

using LoggerRegistry = LoggingTest;

TEST_F(LoggerRegistry, SameNameGivesSameLoggerAndNamesMatchExactly)
{
    Logger* a = Logger::getLogger(name("abc").c_str());
    EXPECT_EQ(Logger::getLogger(name("abc").c_str()), a);
    EXPECT_NE(Logger::getLogger(name("ABC").c_str()), a);
    EXPECT_NE(Logger::getLogger(name("ab").c_str()), a);
    EXPECT_NE(Logger::getLogger(name("abcd").c_str()), a);

    Logger* empty = Logger::getLogger("");
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(Logger::getLogger(""), empty);
    EXPECT_NE(empty, a);
}

TEST_F(LoggerRegistry, NameIsCopied)
{
    char buffer[64] = "RegistryCopied";
    Logger* first = Logger::getLogger(buffer);
    buffer[0] = 'X';
    EXPECT_NE(Logger::getLogger(buffer), first);
    EXPECT_EQ(Logger::getLogger("RegistryCopied"), first);
}

TEST_F(LoggerRegistry, NullNameIsRejectedAndChangesNothing)
{
    auto& backend = install();
    const std::size_t requestsBefore = backend.requests().size();
    EXPECT_THROW(Logger::getLogger(nullptr), std::invalid_argument);
    EXPECT_EQ(backend.requests().size(), requestsBefore);
}

TEST_F(LoggerRegistry, NewLoggerStartsAtFiftyEnabled)
{
    Logger* log = logger();
    EXPECT_FALSE(log->isLevelActive(static_cast<LoggingLevel>(49)));
    EXPECT_TRUE(log->isLevelActive(LevelError));
    EXPECT_TRUE(log->isLevelActive(static_cast<LoggingLevel>(INT_MAX)));
    EXPECT_FALSE(log->isLevelActive(static_cast<LoggingLevel>(-1)));
    EXPECT_FALSE(log->isLevelActive(static_cast<LoggingLevel>(INT_MIN)));
}

TEST_F(LoggerRegistry, ThresholdComparesAsSignedIntegers)
{
    Logger* log = logger();
    log->minLogLevel(static_cast<LoggingLevel>(-5));
    EXPECT_TRUE(log->isLevelActive(static_cast<LoggingLevel>(-5)));
    EXPECT_TRUE(log->isLevelActive(static_cast<LoggingLevel>(0)));
    EXPECT_FALSE(log->isLevelActive(static_cast<LoggingLevel>(-6)));
    log->minLogLevel(static_cast<LoggingLevel>(INT_MIN));
    EXPECT_TRUE(log->isLevelActive(static_cast<LoggingLevel>(INT_MIN)));
    log->minLogLevel(LevelDebug);
    EXPECT_TRUE(log->isLevelActive(LevelDebug));
    EXPECT_FALSE(log->isLevelActive(static_cast<LoggingLevel>(9)));
}

TEST_F(LoggerRegistry, ThresholdBelongsToOneLogger)
{
    Logger* a = logger("a");
    Logger* b = logger("b");
    a->minLogLevel(LevelDebug);
    EXPECT_TRUE(a->isLevelActive(LevelDebug));
    EXPECT_FALSE(b->isLevelActive(LevelDebug));
}

TEST_F(LoggerRegistry, ExistingLoggerIsNotRebuiltByGetLogger)
{
    auto& backend = install();
    logger();
    logger();
    logger();
    EXPECT_EQ(backend.requests(), std::vector<std::string>{name()});
}

TEST_F(LoggerRegistry, CloseAllLoggersGivesFreshLoggersAfterwards)
{
    Logger* log = logger();
    log->minLogLevel(LevelDebug);
    log->enableLogging(false);
    Logger::closeAllLoggers();
    Logger* again = logger();
    EXPECT_FALSE(again->isLevelActive(static_cast<LoggingLevel>(49)));
    EXPECT_TRUE(again->isLevelActive(LevelError));
    auto& backend = install();
    again->stream() << "delivered";
    ASSERT_NE(backend.channelFor(name()), nullptr);
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"delivered"});
}

} // namespace
