#include "DoLog.h"
#include "LoggingTest.h"

#include <gmock/gmock.h>

#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

namespace {

using Tev::Framework::GenericLogger::LevelDebug;
using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LevelNone;
using Tev::Framework::GenericLogger::LevelWarning;
using Tev::Framework::GenericLogger::LoggerBackendLoadError;
using Tev::Framework::GenericLogger::LoggerException;
using Tev::Framework::GenericLogger::LoggingLevel;
using Tev::Framework::GenericLogger::LogStream;
using TevTest::LoggingTest;
using TevTest::Message;
using TevTest::RecordingBackend;
using ::testing::ElementsAre;

using Dispatch = LoggingTest;

LoggingLevel level(int value)
{
    return static_cast<LoggingLevel>(value);
}

void send(Tev::Framework::GenericLogger::Logger* logger, int value, const std::string& text)
{
    LogStream(logger, level(value)) << text;
}

TEST_F(Dispatch, CacheKeeps101MessagesThenTheNoticeAndReplaysThemInOrder)
{
    Logger* log = logger();
    for (int i = 0; i < 150; ++i)
        send(log, 1 + i % 60, "message " + std::to_string(i));

    RecordingBackend& backend = install();
    const std::vector<Message> received = backend.channelFor(name())->messages();
    ASSERT_EQ(received.size(), 102u);
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(received[static_cast<std::size_t>(i)], (Message{level(1 + i % 60), "message " + std::to_string(i)}));
    EXPECT_EQ(received[101], (Message{LevelWarning, "LOG Cache overflow..."}));

    send(log, 50, "straight through");
    EXPECT_EQ(backend.channelFor(name())->messages().back(), (Message{LevelError, "straight through"}));
    EXPECT_EQ(backend.channelFor(name())->messages().size(), 103u);
}

TEST_F(Dispatch, CacheOfExactly101MessagesHasNoNotice)
{
    Logger* log = logger();
    for (int i = 0; i < 101; ++i)
        send(log, 50, std::to_string(i));
    RecordingBackend& backend = install();
    const auto texts = backend.channelFor(name())->texts();
    ASSERT_EQ(texts.size(), 101u);
    EXPECT_EQ(texts.back(), "100");
}

TEST_F(Dispatch, CacheAcceptsAgainAfterReplay)
{
    RecordingBackend& first = makeBackend("first");
    first.offersChannel = [](const char*) { return false; };
    Logger::installBackend(&first);
    Logger* log = logger();
    for (int i = 0; i < 120; ++i)
        send(log, 50, "old");
    // Replayed to no channel at all: lost, and the cache starts over.
    RecordingBackend& second = makeBackend("second");
    second.offersChannel = [](const char*) { return false; };
    Logger::installBackend(&second);
    send(log, 50, "new");
    RecordingBackend& third = install("third");
    EXPECT_EQ(third.channelFor(name())->texts(), std::vector<std::string>{"new"});
}

TEST_F(Dispatch, LevelZeroIsCachedEvenWithChannelsAndDeliveredAtNextInstallation)
{
    RecordingBackend& first = install("B1");
    Logger* log = logger();
    TevTest::doLog(log, LevelNone, "zero");
    TevTest::doLog(log, LevelError, "fifty");
    EXPECT_EQ(first.channelFor(name())->texts(), std::vector<std::string>{"fifty"});

    RecordingBackend& second = install("B2");
    EXPECT_EQ(second.channelFor(name())->messages(), (std::vector<Message>{{LevelNone, "zero"}}));
    EXPECT_EQ(first.channelFor(name())->messages(), (std::vector<Message>{{LevelNone, "zero"}}));
}

TEST_F(Dispatch, StreamAtLevelZeroLogsNothing)
{
    RecordingBackend& first = install("B1");
    Logger* log = logger();
    log->stream(LevelNone) << "not even cached";
    LogStream(log, LevelNone) << "nor this";
    RecordingBackend& second = install("B2");
    EXPECT_TRUE(first.channelFor(name())->texts().empty());
    EXPECT_TRUE(second.channelFor(name())->texts().empty());
}

TEST_F(Dispatch, NullMessageIsIgnored)
{
    Logger* log = logger();
    TevTest::doLog(log, LevelError, nullptr);
    RecordingBackend& backend = install();
    TevTest::doLog(log, LevelError, nullptr);
    TevTest::doLog(log, LevelError, "real");
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"real"});
}

TEST_F(Dispatch, DisabledLoggerDropsWhatItCouldDeliverButKeepsWhatItCaches)
{
    Logger* log = logger();
    log->enableLogging(false);
    send(log, 50, "cached while disabled");
    RecordingBackend& backend = install();
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"cached while disabled"});

    send(log, 50, "dropped");
    EXPECT_EQ(backend.channelFor(name())->texts().size(), 1u);

    log->enableLogging(true);
    send(log, 50, "delivered");
    EXPECT_EQ(backend.channelFor(name())->texts().back(), "delivered");
}

TEST_F(Dispatch, DeliveryIgnoresTheThreshold)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    send(log, 1, "below");
    log->minLogLevel(level(1000));
    log->stream() << "also below";
    EXPECT_EQ(backend.channelFor(name())->messages(),
              (std::vector<Message>{{level(1), "below"}, {LevelDebug, "also below"}}));
}

TEST_F(Dispatch, LoggerCreatedAfterInstallationGetsItsChannelAtOnce)
{
    RecordingBackend& backend = install();
    send(logger(), 50, "hello");
    ASSERT_NE(backend.channelFor(name()), nullptr);
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"hello"});
}

TEST_F(Dispatch, ChannelsFollowInstallationOrderAndReceiveTheReplay)
{
    Logger* log = logger();
    send(log, 50, "early");
    install("B1");
    install("B2");
    send(log, 50, "late");
    const std::vector<std::string> expected{
        "B1 channel " + name(), "B1 log " + name() + " 50 early",
        "B1 channel " + name(), "B2 channel " + name(),
        "B1 log " + name() + " 50 late", "B2 log " + name() + " 50 late"};
    EXPECT_EQ(journal.events(), expected);
}

TEST_F(Dispatch, RefreshVisitsLoggersInNameOrder)
{
    Logger::getLogger((name() + "b").c_str());
    Logger::getLogger((name() + "B").c_str());
    Logger::getLogger((name() + "a").c_str());
    RecordingBackend& backend = install();
    std::vector<std::string> mine;
    for (const std::string& request : backend.requests())
        if (request.rfind(name(), 0) == 0)
            mine.push_back(request);
    EXPECT_EQ(mine, (std::vector<std::string>{name() + "B", name() + "a", name() + "b"}));
}

TEST_F(Dispatch, BackendWithoutChannelLeavesMessagesCachedUntilLostAtNextInstallation)
{
    RecordingBackend& picky = makeBackend("picky");
    picky.offersChannel = [](const char*) { return false; };
    Logger::installBackend(&picky);
    Logger* log = logger();
    send(log, 50, "waiting");

    RecordingBackend& other = makeBackend("other");
    other.offersChannel = [](const char*) { return false; };
    Logger::installBackend(&other); // still no channel: the cache is dropped
    picky.offersChannel = nullptr;
    RecordingBackend& third = install("third");
    EXPECT_TRUE(picky.channelFor(name())->texts().empty());
    EXPECT_TRUE(third.channelFor(name())->texts().empty());
}

TEST_F(Dispatch, AfterLastUninstallMessagesAreCachedAndReplayedToRebuiltChannels)
{
    RecordingBackend& backend = install("B1");
    Logger* log = logger();
    send(log, 50, "first");
    Logger::uninstallBackend(&backend);
    send(log, 50, "second");
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"first"});

    RecordingBackend& next = install("B2");
    EXPECT_EQ(next.channelFor(name())->texts(), std::vector<std::string>{"second"});
    // The uninstalled backend is not asked again.
    EXPECT_EQ(backend.requests().size(), 1u);
}

TEST_F(Dispatch, UninstalledBackendsChannelKeepsReceivingWhileAnotherIsInstalled)
{
    RecordingBackend& one = install("B1");
    RecordingBackend& two = install("B2");
    Logger* log = logger();
    Logger::uninstallBackend(&one);
    send(log, 50, "still");
    EXPECT_EQ(one.channelFor(name())->texts(), std::vector<std::string>{"still"});
    EXPECT_EQ(two.channelFor(name())->texts(), std::vector<std::string>{"still"});
}

TEST_F(Dispatch, InstallingTwiceThrowsAndUninstalledCanBeInstalledAgain)
{
    RecordingBackend& backend = install();
    try {
        Logger::installBackend(&backend);
        FAIL() << "installed twice";
    } catch (const LoggerBackendLoadError& error) {
        EXPECT_STREQ(error.message(), "Cannot install a backend twice!");
        EXPECT_STREQ(error.filename(), "Tev\\Framework\\GenericLogger\\Logger");
        EXPECT_EQ(error.lineNumber(), 301);
    }
    Logger::uninstallBackend(&backend);
    EXPECT_NO_THROW(Logger::installBackend(&backend));
}

TEST_F(Dispatch, FailedInstallationChangesNothing)
{
    RecordingBackend& backend = install();
    logger();
    const std::size_t requests = backend.requests().size();
    EXPECT_THROW(Logger::installBackend(nullptr), LoggerBackendLoadError);
    EXPECT_THROW(Logger::installBackend(&backend), LoggerBackendLoadError);
    EXPECT_EQ(backend.requests().size(), requests);
}

TEST_F(Dispatch, UninstallingUnknownOrNullDoesNothing)
{
    RecordingBackend& installed = install();
    RecordingBackend& stranger = makeBackend("stranger");
    EXPECT_NO_THROW(Logger::uninstallBackend(&stranger));
    EXPECT_NO_THROW(Logger::uninstallBackend(nullptr));
    send(logger(), 50, "delivered");
    EXPECT_EQ(installed.channelFor(name())->texts(), std::vector<std::string>{"delivered"});
}

TEST_F(Dispatch, ChannelMayLogAgainFromInsideLog)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    Logger* other = logger("other");
    backend.channelFor(name())->onLog = [other](LoggingLevel, const char* message) {
        LogStream(other, LevelError) << "echo of " << message;
    };
    send(log, 50, "original");
    EXPECT_EQ(backend.channelFor(name("other"))->texts(), std::vector<std::string>{"echo of original"});
}

TEST_F(Dispatch, MessageCachedByAChannelDuringReplayIsKeptForTheNextReplay)
{
    Logger* log = logger();
    for (int i = 0; i < 50; ++i)
        send(log, 50, "m" + std::to_string(i));
    RecordingBackend& first = makeBackend("first");
    first.onNewChannel = [log](TevTest::RecordingChannel& channel) {
        channel.onLog = [log](LoggingLevel, const char* message) {
            TevTest::doLog(log, LevelNone, ("seen " + std::string(message)).c_str());
        };
    };
    Logger::installBackend(&first);
    first.onNewChannel = nullptr;
    EXPECT_EQ(first.channelFor(name())->texts().size(), 50u);

    RecordingBackend& second = install("second");
    const std::vector<Message> replayed = second.channelFor(name())->messages();
    ASSERT_EQ(replayed.size(), 50u);
    for (std::size_t i = 0; i < replayed.size(); ++i)
        EXPECT_EQ(replayed[i], (Message{LevelNone, "seen m" + std::to_string(i)}));
}

TEST_F(Dispatch, ChannelThrowingDuringDeliveryReachesTheCaller)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    backend.channelFor(name())->onLog = [](LoggingLevel, const char*) { throw std::runtime_error("channel failed"); };
    EXPECT_THROW(send(log, 50, "boom"), std::runtime_error);
    // The logging mutex was released: another thread can log.
    std::thread other([&] { send(logger("other"), 50, "after"); });
    other.join();
    EXPECT_EQ(backend.channelFor(name("other"))->texts(), std::vector<std::string>{"after"});
}

TEST_F(Dispatch, ChannelThrowingDuringReplayLeavesTheCacheWhole)
{
    Logger* log = logger();
    for (int i = 0; i < 105; ++i)
        send(log, 50, std::to_string(i));

    RecordingBackend& thrower = makeBackend("thrower");
    bool armed = true;
    thrower.onNewChannel = [&armed](TevTest::RecordingChannel& channel) {
        channel.onLog = [&armed](LoggingLevel, const char*) {
            if (armed) {
                armed = false;
                throw std::runtime_error("replay failed");
            }
        };
    };
    EXPECT_THROW(Logger::installBackend(&thrower), std::runtime_error);

    RecordingBackend& good = install("good");
    const std::vector<Message> replayed = good.channelFor(name())->messages();
    ASSERT_EQ(replayed.size(), 102u);
    EXPECT_EQ(replayed.front().text, "0");
    EXPECT_EQ(replayed[100].text, "100");
    EXPECT_EQ(replayed.back(), (Message{LevelWarning, "LOG Cache overflow..."}));
}

TEST_F(Dispatch, CreateChannelThrowingInGetLoggerCreatesNoLoggerAndReleasesWhatItGot)
{
    RecordingBackend& good = install("good");
    RecordingBackend& bad = install("bad");
    bad.onCreateChannel = [](const char*) { throw std::runtime_error("no channel today"); };
    EXPECT_THROW(logger(), std::runtime_error);
    ASSERT_NE(good.channelFor(name()), nullptr);
    EXPECT_EQ(good.channelFor(name())->releases(), 1);

    bad.onCreateChannel = nullptr;
    Logger* log = logger();
    send(log, 50, "works");
    EXPECT_EQ(good.channelFor(name())->texts(), std::vector<std::string>{"works"});
    EXPECT_EQ(bad.channelFor(name())->texts(), std::vector<std::string>{"works"});
}

TEST_F(Dispatch, CreateChannelThrowingDuringInstallationKeepsTheBackendInstalled)
{
    Logger* before = Logger::getLogger((name() + "a").c_str());
    Logger::getLogger((name() + "b").c_str());
    Logger::getLogger((name() + "c").c_str());
    RecordingBackend& failing = makeBackend("failing");
    const std::string failOn = name() + "b";
    failing.onCreateChannel = [failOn](const char* loggerName) {
        if (loggerName == failOn)
            throw std::runtime_error("fails for b");
    };
    EXPECT_THROW(Logger::installBackend(&failing), std::runtime_error);
    // Loggers before the failing one were refreshed, later ones not.
    EXPECT_NE(failing.channelFor(name() + "a"), nullptr);
    EXPECT_EQ(failing.channelFor(name() + "c"), nullptr);
    EXPECT_THROW(Logger::installBackend(&failing), LoggerBackendLoadError);
    send(before, 50, "x");
    EXPECT_EQ(failing.channelFor(name() + "a")->texts(), std::vector<std::string>{"x"});
}

TEST_F(Dispatch, ClosingLoggersFromInsideAChannelIsRefused)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    backend.channelFor(name())->onLog = [](LoggingLevel, const char*) { Logger::closeAllLoggers(); };
    EXPECT_THROW(send(log, 50, "x"), LoggerException);
    backend.channelFor(name())->onLog = nullptr;
    send(log, 50, "still alive");
    EXPECT_EQ(backend.channelFor(name())->texts().back(), "still alive");
}

} // namespace
