#include "LoggingTest.h"

#include <climits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Tev::Framework::GenericLogger::LevelDebug;
using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LoggingLevel;
using TevTest::LoggingTest;
using TevTest::RecordingBackend;

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

TEST_F(LoggerRegistry, ManyNamesStayFoundAcrossFailedCreations)
{
    // Creations that fail take their name out again, between names that stay.
    auto& backend = install();
    backend.onCreateChannel = [](const char* loggerName) {
        if (std::string(loggerName).find(".fails.") != std::string::npos)
            throw std::runtime_error("no channel");
    };
    std::vector<Logger*> kept;
    for (int i = 0; i < 3000; ++i) {
        kept.push_back(logger(".kept." + std::to_string(i)));
        EXPECT_THROW(logger(".fails." + std::to_string(i)), std::runtime_error);
    }
    std::set<Logger*> distinct(kept.begin(), kept.end());
    EXPECT_EQ(distinct.size(), kept.size());
    for (int i = 0; i < 3000; i += 7)
        EXPECT_EQ(logger(".kept." + std::to_string(i)), kept[static_cast<std::size_t>(i)]);
    backend.onCreateChannel = nullptr;
    Logger* fresh = logger(".fails.17");
    EXPECT_EQ(distinct.count(fresh), 0U);
    EXPECT_EQ(logger(".fails.17"), fresh);
}

TEST_F(LoggerRegistry, RefreshGoesOnInNameOrderAfterLoggersMadeMeanwhile)
{
    logger(".a");
    logger(".b");
    logger(".d");
    RecordingBackend& backend = makeBackend();
    bool made = false;
    backend.onCreateChannel = [&made](const char* loggerName) {
        if (!made && std::string(loggerName) == name(".b")) {
            made = true;
            logger(".a2"); // before the one being refreshed: not refreshed again
            logger(".c");  // after it: refreshed in its turn
        }
    };
    Logger::installBackend(&backend);
    std::vector<std::string> asked;
    for (const std::string& request : backend.requests())
        if (request.rfind(name(), 0) == 0)
            asked.push_back(request.substr(name().size()));
    EXPECT_EQ(asked, (std::vector<std::string>{".a", ".b", ".a2", ".c", ".c", ".d"}));
    Logger::uninstallBackend(&backend);
}

} // namespace
