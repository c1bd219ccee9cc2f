#include "Tev/Framework/CrisisLogging/CrisisLogger.h"

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Tev::Framework::CrisisLogging::CrisisLogger;

const char* const logPath = "/var/tmp/tev.log";
const std::string stamp = R"((\d\d:\d\d:\d\d\.\d\d\d))";
constexpr long msPerDay = 24L * 60 * 60 * 1000;

std::string readLog()
{
    std::ifstream in(logPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What `action` appends to the log; what was there before must stay as it was.
template <typename Action>
std::string appendedBy(Action action)
{
    CrisisLogger::instance(); // from here on this process alone writes the file
    const std::string before = readLog();
    action();
    const std::string after = readLog();
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines changed";
    return after.substr(std::min(before.size(), after.size()));
}

long millisecondOfDay()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    return ((local.tm_hour * 60L + local.tm_min) * 60 + local.tm_sec) * 1000 + now.tv_nsec / 1000000;
}

long millisecondOfDay(const std::string& stamped)
{
    return ((std::stol(stamped.substr(0, 2)) * 60 + std::stol(stamped.substr(3, 2))) * 60 +
            std::stol(stamped.substr(6, 2))) * 1000 + std::stol(stamped.substr(9, 3));
}

// Milliseconds from `from` forward to `to`, across midnight if need be.
long since(long from, long to)
{
    return ((to - from) % msPerDay + msPerDay) % msPerDay;
}

TEST(CrisisLogger, IsOneObjectWithOneOpenFileForAllThreads)
{
    std::vector<CrisisLogger*> seen(8, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (CrisisLogger*& slot : seen)
        threads.emplace_back([&go, &slot] {
            while (!go)
                std::this_thread::yield();
            try {
                slot = &CrisisLogger::instance();
            } catch (...) {
            }
        });
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    CrisisLogger* const logger = &CrisisLogger::instance();
    EXPECT_EQ(&CrisisLogger::instance(), logger);
    for (CrisisLogger* other : seen)
        EXPECT_EQ(other, logger);

    int opened = 0;
    for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        opened += fs::read_symlink(fd.path(), error) == logPath ? 1 : 0;
    }
    EXPECT_EQ(opened, 1);
}

TEST(CrisisLogger, WritesLocalTimeSeparatorMessageAndNewline)
{
    const std::string message = "stamped by " + std::to_string(::getpid());
    long before = 0;
    long after = 0;
    const std::string line = appendedBy([&] {
        before = millisecondOfDay();
        CrisisLogger::instance().log(message.c_str());
        after = millisecondOfDay();
    });
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, std::regex(stamp + " - " + message + "\n"))) << line;
    EXPECT_LE(since(before, millisecondOfDay(match[1])), since(before, after))
        << match[1] << " is not the local time of the call";
}

TEST(CrisisLogger, WritesMessagesAsTheyStand)
{
    auto logged = [](const char* message) { return appendedBy([message] { CrisisLogger::instance().log(message); }); };
    EXPECT_TRUE(std::regex_match(logged(""), std::regex(stamp + " - \n")));
    EXPECT_TRUE(std::regex_match(logged("first\nsecond"), std::regex(stamp + " - first\nsecond\n")));
    EXPECT_EQ(logged(nullptr), "");
    EXPECT_TRUE(std::regex_match(logged("after null"), std::regex(stamp + " - after null\n")));

    // Around the size of the stack buffer, and well beyond it.
    for (std::size_t length : {239U, 240U, 241U, 5000U}) {
        const std::string message(length, static_cast<char>('a' + length % 26));
        const std::string line = logged(message.c_str());
        EXPECT_TRUE(std::regex_match(line.substr(0, 12), std::regex(stamp))) << length;
        EXPECT_EQ(line.substr(std::min<std::size_t>(12, line.size())), " - " + message + "\n") << length;
    }
}

TEST(CrisisLogger, ConcurrentCallersLeaveWholeLinesOnePerCallInStampOrder)
{
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 200;
    const std::string appended = appendedBy([] {
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
            threads.emplace_back([t] {
                const std::string payload(32, static_cast<char>('a' + t));
                for (int n = 0; n < linesPerThread; ++n)
                    CrisisLogger::instance().log(("t" + std::to_string(t) + " n" + std::to_string(n) + " " + payload).c_str());
            });
        for (std::thread& thread : threads)
            thread.join();
    });

    const std::regex whole(stamp + R"( - t(\d) n(\d+) ([a-z])\4{31})");
    std::set<std::pair<int, int>> calls;
    std::istringstream lines(appended);
    long previous = -1;
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << "torn line: " << line;
        EXPECT_EQ(match[4].str()[0], 'a' + std::stoi(match[2])) << line;
        EXPECT_TRUE(calls.emplace(std::stoi(match[2]), std::stoi(match[3])).second) << "twice: " << line;
        const long at = millisecondOfDay(match[1]);
        if (previous >= 0) {
            EXPECT_LT(since(previous, at), 60000) << "stamp order broken at " << line;
        }
        previous = at;
    }
    EXPECT_EQ(count, threadCount * linesPerThread);
    EXPECT_EQ(calls.size(), static_cast<std::size_t>(threadCount * linesPerThread));
    EXPECT_EQ(appended.empty() ? '\n' : appended.back(), '\n');
}

} // namespace
