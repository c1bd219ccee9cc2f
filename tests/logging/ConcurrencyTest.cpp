#include "LoggingTest.h"

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Tev::Framework::GenericLogger::LevelDebug;
using Tev::Framework::GenericLogger::LevelError;
using Tev::Framework::GenericLogger::LoggingLevel;
using Tev::Framework::GenericLogger::LogStream;
using TevTest::LoggingTest;
using TevTest::RecordingBackend;

using Concurrency = LoggingTest;

constexpr int threadCount = 8;
constexpr int messagesPerThread = 2000;

template <typename Body>
void runThreads(int count, Body body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back(body, t);
    for (std::thread& thread : threads)
        thread.join();
}

TEST_F(Concurrency, ManyThreadsOnOneLoggerLoseNothingAndKeepEachThreadsOrder)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    runThreads(threadCount, [log](int t) {
        for (int i = 0; i < messagesPerThread; ++i)
            TEV_LOG(log, LevelError) << t << ':' << i;
    });

    const std::vector<std::string> texts = backend.channelFor(name())->texts();
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(threadCount * messagesPerThread));
    std::vector<int> next(threadCount, 0);
    for (const std::string& text : texts) {
        const std::size_t colon = text.find(':');
        ASSERT_NE(colon, std::string::npos) << text;
        const int thread = std::stoi(text.substr(0, colon));
        const int index = std::stoi(text.substr(colon + 1));
        ASSERT_EQ(index, next[static_cast<std::size_t>(thread)]) << "thread " << thread << " out of order";
        ++next[static_cast<std::size_t>(thread)];
    }
}

TEST_F(Concurrency, ChannelCallsNeverOverlapAcrossLoggers)
{
    RecordingBackend& backend = install();
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<Logger*> loggers;
    for (int t = 0; t < 4; ++t) {
        loggers.push_back(logger(std::to_string(t)));
        backend.channelFor(name(std::to_string(t)))->onLog = [&](LoggingLevel, const char*) {
            if (inside.fetch_add(1) != 0)
                overlaps.fetch_add(1);
            std::this_thread::yield();
            inside.fetch_sub(1);
        };
    }
    runThreads(4, [&loggers](int t) {
        for (int i = 0; i < 2000; ++i)
            LogStream(loggers[static_cast<std::size_t>(t)], LevelError) << i;
    });
    EXPECT_EQ(overlaps.load(), 0);
}

TEST_F(Concurrency, GetLoggerFromManyThreadsGivesOneLoggerPerName)
{
    RecordingBackend& backend = install();
    std::vector<std::vector<Logger*>> seen(threadCount);
    runThreads(threadCount, [&seen](int t) {
        for (int i = 0; i < 50; ++i)
            seen[static_cast<std::size_t>(t)].push_back(Logger::getLogger((name() + std::to_string(i)).c_str()));
    });
    for (int t = 1; t < threadCount; ++t)
        EXPECT_EQ(seen[static_cast<std::size_t>(t)], seen[0]);
    EXPECT_EQ(std::set<std::string>(backend.requests().begin(), backend.requests().end()).size(), 50u);
    EXPECT_EQ(backend.requests().size(), 50u);
}

TEST_F(Concurrency, ThresholdAndEnabledFlagChangeWhileOthersLog)
{
    RecordingBackend& backend = install();
    Logger* log = logger();
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop.load(); ++i) {
            log->minLogLevel(i % 2 == 0 ? LevelDebug : LevelError);
            log->enableLogging(i % 3 != 0);
            Logger::unloadLoggingChannels(i % 2 == 0);
        }
    });
    std::atomic<int> active{0};
    runThreads(4, [&](int) {
        for (int i = 0; i < 5000; ++i)
            if (log->isLevelActive(LevelDebug))
                active.fetch_add(1);
        for (int i = 0; i < 500; ++i)
            LogStream(log, LevelError) << i;
    });
    stop = true;
    changer.join();
    log->enableLogging(true);
    Logger::unloadLoggingChannels(true);
    LogStream(log, LevelError) << "last";
    EXPECT_EQ(backend.channelFor(name())->texts().back(), "last");
    EXPECT_LE(backend.channelFor(name())->texts().size(), 2001u);
}

TEST_F(Concurrency, InstallingAndUninstallingWhileOthersLog)
{
    Logger* log = logger();
    std::atomic<bool> stop{false};
    std::vector<RecordingBackend*> backends;
    for (int i = 0; i < 4; ++i)
        backends.push_back(&makeBackend("B" + std::to_string(i)));
    std::thread installer([&] {
        for (int round = 0; round < 200; ++round) {
            RecordingBackend* backend = backends[static_cast<std::size_t>(round) % backends.size()];
            Logger::installBackend(backend);
            Logger::getLogger((name() + std::to_string(round % 10)).c_str());
            Logger::uninstallBackend(backend);
        }
        stop = true;
    });
    runThreads(4, [&](int t) {
        int i = 0;
        while (!stop.load())
            LogStream(log, LevelError) << "thread " << t << " message " << i++;
    });
    installer.join();
    RecordingBackend& last = install("last");
    ASSERT_NE(last.channelFor(name()), nullptr);
    LogStream(log, LevelError) << "done";
    EXPECT_EQ(last.channelFor(name())->texts().back(), "done");
}

} // namespace
