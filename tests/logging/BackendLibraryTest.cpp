#include "LoggingTest.h"

#include "Tev/Gadgets/DLL/DLLHolder.h"

#include <gmock/gmock.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LoggerBackend;
using Tev::Framework::GenericLogger::LogStream;
using Tev::Gadgets::DLL::DLLHolder;
using TevTest::LoggingTest;
using TevTest::RecordingBackend;
using ::testing::ElementsAre;

const std::string unresolved =
    "Unable to resolve function createBackend from dynamic library\n"
    "Expression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: 25";

class BackendLibrary : public LoggingTest {
protected:
    // Records what the recording backend library does, including its own unload. The
    // test holds the library until the framework has loaded it too (letGo()).
    void attachJournal()
    {
        ownHold.emplace("recording_ru" TEV_MODULE_SUFFIX);
        ASSERT_TRUE(ownHold->isLoaded());
        ownHold->resolveFunction<void (*)(std::vector<std::string>*)>("attachJournal")(&events);
    }
    void letGo() { ownHold.reset(); }

    void TearDown() override
    {
        letGo();
        LoggingTest::TearDown();
    }

    static std::string runtimeErrorOf(const char* backend)
    {
        try {
            Logger::loadBackend(backend);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "no exception";
    }

    std::vector<std::string> events;
    std::optional<DLLHolder> ownHold;
};

TEST_F(BackendLibrary, LoadingDoesNotInstall)
{
    attachJournal();
    LoggerBackend* backend = Logger::loadBackend("recording");
    letGo();
    ASSERT_NE(backend, nullptr);
    LogStream(logger(), LevelError) << "cached";
    EXPECT_EQ(events, std::vector<std::string>{"P1 created"});

    Logger::installBackend(backend);
    EXPECT_THAT(events, ElementsAre("P1 created", "P1 channel " + name(), "P1 log " + name() + " 50 cached"));
}

TEST_F(BackendLibrary, InstallByNameDeliversAndCloseReleasesEachChannelOnceThenDeletesThenUnloads)
{
    attachJournal();
    RecordingBackend& client = install("client");
    ASSERT_NE(Logger::installBackend("recording"), nullptr);
    letGo();
    Logger* a = logger("a");
    logger("b");
    LogStream(a, LevelError) << "hello";
    Logger::closeAllLoggers();

    EXPECT_THAT(events, ElementsAre("P1 created", "P1 channel " + name("a"), "P1 channel " + name("b"),
                                    "P1 log " + name("a") + " 50 hello", "P1 release " + name("a"),
                                    "P1 release " + name("b"), "P1 deleted", "library unloaded"));
    ASSERT_NE(client.channelFor(name("a")), nullptr);
    EXPECT_EQ(client.channelFor(name("a"))->releases(), 1);
    EXPECT_EQ(client.channelFor(name("b"))->releases(), 1);
    EXPECT_EQ(client.channelFor(name("a"))->texts(), std::vector<std::string>{"hello"});

    // The client's backend stays installed: a new logger gets a channel from it.
    Logger* fresh = logger("a");
    EXPECT_FALSE(fresh->isLevelActive(static_cast<Tev::Framework::GenericLogger::LoggingLevel>(49)));
    LogStream(fresh, LevelError) << "again";
    EXPECT_EQ(client.channelFor(name("a"))->texts(), std::vector<std::string>{"again"});
    EXPECT_EQ(client.channelFor(name("a"))->releases(), 0);
}

TEST_F(BackendLibrary, BackendsLoadedButNeverInstalledAreDeletedToo)
{
    attachJournal();
    Logger::installBackend("recording");
    letGo();
    logger();
    ASSERT_NE(Logger::loadBackend("recording"), nullptr);
    Logger::closeAllLoggers();
    EXPECT_THAT(events, ElementsAre("P1 created", "P1 channel " + name(), "P2 created", "P1 release " + name(),
                                    "P1 deleted", "P2 deleted", "library unloaded"));
}

TEST_F(BackendLibrary, EachLoadCreatesANewBackend)
{
    LoggerBackend* first = Logger::loadBackend("recording");
    LoggerBackend* second = Logger::loadBackend("recording");
    EXPECT_NE(first, nullptr);
    EXPECT_NE(first, second);
}

TEST_F(BackendLibrary, UnloadSwitchedOffLeavesEverythingInPlace)
{
    attachJournal();
    Logger::installBackend("recording");
    letGo();
    Logger* log = logger();
    log->minLogLevel(Tev::Framework::GenericLogger::LevelDebug);
    Logger::unloadLoggingChannels(false);
    Logger::closeAllLoggers();
    EXPECT_EQ(logger(), log);
    EXPECT_TRUE(log->isLevelActive(Tev::Framework::GenericLogger::LevelDebug));
    LogStream(log, LevelError) << "still here";
    EXPECT_EQ(events.back(), "P1 log " + name() + " 50 still here");

    Logger::unloadLoggingChannels(true);
    Logger::closeAllLoggers();
    EXPECT_THAT(events, ::testing::IsSupersetOf({"P1 release " + name(), std::string("library unloaded")}));
}

TEST_F(BackendLibrary, MissingLibraryOrFactoryThrowsTheResolveError)
{
    EXPECT_EQ(runtimeErrorOf("no_such_backend"), unresolved);
    EXPECT_EQ(runtimeErrorOf("nofactory"), unresolved);
    EXPECT_EQ(runtimeErrorOf(""), unresolved);
    // Nothing was installed by the failures.
    RecordingBackend& backend = install();
    LogStream(logger(), LevelError) << "only one channel";
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"only one channel"});
}

TEST_F(BackendLibrary, NullBackendIsNoError)
{
    EXPECT_EQ(Logger::loadBackend("nullbackend"), nullptr);
    EXPECT_EQ(Logger::installBackend("nullbackend"), nullptr);
    Logger* log = logger();
    LogStream(log, LevelError) << "cached";
    RecordingBackend& backend = install();
    EXPECT_EQ(backend.channelFor(name())->texts(), std::vector<std::string>{"cached"});
    EXPECT_NO_THROW(Logger::closeAllLoggers());
}

TEST_F(BackendLibrary, FactoryExceptionPropagates)
{
    try {
        Logger::installBackend("throwingfactory");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "the backend could not start");
    }
    EXPECT_NO_THROW(Logger::closeAllLoggers());
}

TEST_F(BackendLibrary, NullNameIsRejected)
{
    EXPECT_THROW(Logger::loadBackend(nullptr), std::invalid_argument);
    EXPECT_THROW(Logger::installBackend(static_cast<const char*>(nullptr)), std::invalid_argument);
}

TEST(DLLHolder, ResolveErrorNamesTheFunction)
{
    DLLHolder library("recording_ru" TEV_MODULE_SUFFIX);
    ASSERT_TRUE(library.isLoaded());
    try {
        library.resolveFunction<void (*)()>("noSuchFunction");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Unable to resolve function noSuchFunction from dynamic library\n"
                                   "Expression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: 25");
    }
    EXPECT_NE(library.resolveFunction<LoggerBackend* (*)()>("createBackend"), nullptr);
}

TEST(DLLHolder, MissingLibraryIsNotLoadedAndResolvesNothing)
{
    DLLHolder missing("no_such_library_ru" TEV_MODULE_SUFFIX);
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_THROW(missing.resolveFunction<void (*)()>("createBackend"), std::runtime_error);
    DLLHolder moved(std::move(missing));
    EXPECT_FALSE(moved.isLoaded());
}

} // namespace
