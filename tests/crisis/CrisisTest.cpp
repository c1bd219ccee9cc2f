// The crisis log. Every test process has a /var/tmp of its own (PrivateVarTmp.h);
// where that cannot be had, the tests are skipped and say why. The log is one per
// process: each test needs a process of its own, as ctest gives it.
#include "PrivateVarTmp.h"

#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <thread>
#include <vector>

namespace {

using Tev::Framework::CrisisLogging::CrisisLogger;
using Tev::Framework::Exceptions::FrameworkException;

const char* const logPath = "/var/tmp/tev.log";
std::string notIsolated; // why the tests cannot run here, if they cannot
bool realRoot = false;   // may give files away to another user

bool writeFile(const char* path, const std::string& text)
{
    return bool(std::ofstream(path) << text);
}

std::vector<std::string> loggedLines()
{
    std::ifstream in(logPath, std::ios::binary);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// Whether the line starts like "HH:MM:SS.mmm - ", as far as it goes.
bool stampShaped(const std::string& line)
{
    const std::string shape = "00:00:00.000 - ";
    for (std::size_t i = 0; i < line.size() && i < shape.size(); ++i)
        if (shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) == 0 : line[i] != shape[i])
            return false;
    return true;
}

// Runs `body` in a child process; its result is the child's exit code (-1: killed).
int inChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Message `id`: its number, then letters only, so that the start of another line can
// never pass for the rest of this one.
std::string message(unsigned long id)
{
    std::string text = "W" + std::to_string(id) + ":";
    for (std::size_t i = text.size(); i + 1 < 32 * 1024; ++i) // pages long: a kill can land inside a line
        text.push_back(static_cast<char>('a' + (id + i) % 26));
    return text + "#";
}

// 1: a whole message, 0: one cut short, -1: anything else (two run together, say).
int kindOf(const std::string& line)
{
    if (line.empty() || !stampShaped(line))
        return -1;
    if (line.size() <= 16)
        return 0;
    const std::string text = line.substr(15);
    if (text[0] != 'W' || std::isdigit(static_cast<unsigned char>(text[1])) == 0)
        return -1;
    const std::string expected = message(std::stoul(text.substr(1)));
    return text == expected ? 1 : expected.rfind(text, 0) == 0 ? 0 : -1;
}

class Crisis : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!notIsolated.empty())
            GTEST_SKIP() << notIsolated;
        if (openedHere)
            GTEST_SKIP() << "an earlier test opened this process's crisis log: run each test alone, as ctest does";
    }
    // Opens the log of this process, which stays open until it ends.
    static CrisisLogger& open() { return openedHere = true, CrisisLogger::instance(); }
    static inline bool openedHere = false;
};

TEST(CrisisTimeStamp, IsZeroPaddedTimeOfDayWithMilliseconds)
{
    const std::pair<Tev::Platform::TimeOfDay, const char*> cases[] = {
        {{9, 5, 3, 42}, "09:05:03.042"}, {{0, 0, 0, 7}, "00:00:00.007"}, {{23, 59, 59, 999}, "23:59:59.999"}};
    for (const auto& [time, text] : cases) {
        char out[Tev::Framework::CrisisLogging::timeStampLength];
        Tev::Framework::CrisisLogging::formatTimeStamp(time, out);
        EXPECT_EQ(std::string(out, sizeof out), text);
    }
}

TEST_F(Crisis, LinesAreStampMessageAndLineEndAfterWhatWasThere)
{
    ASSERT_TRUE(writeFile(logPath, "x")); // cut short: the first line starts on a line of its own
    ASSERT_EQ(::chmod(logPath, 0666), 0);
    CrisisLogger& logger = open();
    EXPECT_EQ(&CrisisLogger::instance(), &logger);
    const std::string atStackLimit(240, 'y');
    const std::string longMessage(5000, 'x');
    const std::time_t before = std::time(nullptr);
    for (const char* m :
         {"abc", "", "first\nsecond", static_cast<const char*>(nullptr), atStackLimit.c_str(), longMessage.c_str()})
        logger.log(m);

    struct stat status {};
    ASSERT_EQ(::stat(logPath, &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u) << "a log of our own is for our eyes only";
    const std::vector<std::string> written = loggedLines();
    ASSERT_EQ(written,
              (std::vector<std::string>{"x", written[1], written[2], written[3], "second", written[5], written[6]}));
    std::tm local{};
    ::localtime_r(&before, &local);
    const int callSeconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    for (auto [i, expected] :
         {std::pair{1, "abc"}, {2, ""}, {3, "first"}, {5, atStackLimit.c_str()}, {6, longMessage.c_str()}}) {
        const std::string& line = written[static_cast<std::size_t>(i)];
        EXPECT_TRUE(line.size() >= 15 && stampShaped(line) && line.substr(15) == expected) << line.substr(0, 40);
        const int stamped =
            std::stoi(line.substr(0, 2)) * 3600 + std::stoi(line.substr(3, 2)) * 60 + std::stoi(line.substr(6, 2));
        EXPECT_LE((stamped - callSeconds + 86400) % 86400, 5) << "not the local time of the call";
    }
}

TEST_F(Crisis, RefusedFilesThrowEveryTimeUntilTheCauseIsGone)
{
    pid_t holder = -1;
    const struct {
        const char* what;
        std::function<bool()> prepare;
    } cases[] = {
        {"a directory", [] { return ::mkdir(logPath, 0700) == 0; }},
        {"a symbolic link", [] { return writeFile("/var/tmp/t", "") && ::symlink("/var/tmp/t", logPath) == 0; }},
        {"a FIFO", [] { return ::mkfifo(logPath, 0600) == 0; }},
        {"a second name of another file",
         [] { return writeFile("/var/tmp/t", "") && ::link("/var/tmp/t", logPath) == 0; }},
        {"another user's file",
         [] { return !realRoot || (writeFile(logPath, "") && ::chown(logPath, 65534, 65534) == 0); }},
        {"a file that another process holds",
         [&holder] {
             int ready[2];
             if (::pipe(ready) != 0 || (holder = ::fork()) < 0)
                 return false;
             if (holder == 0) {
                 ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the case, however it ends
                 CrisisLogger::instance();
                 ::_exit(::write(ready[1], "x", 1) == 1 ? (::pause(), 0) : 1);
             }
             char byte;
             return ::read(ready[0], &byte, 1) == 1;
         }},
    };
    for (const auto& c : cases) {
        const int failedStep = inChild([&c, &holder] {
            if (!c.prepare())
                return 10;
            if (!realRoot && std::string(c.what) == "another user's file")
                return 0; // cannot give a file away here
            for (int attempt = 0; attempt < 2; ++attempt) {
                try {
                    CrisisLogger::instance();
                    return 20 + attempt;
                } catch (const FrameworkException& e) {
                    if (e.message() != std::string("Error opening log file: '/var/tmp/tev.log'"))
                        return 30;
                }
            }
            if (holder > 0)
                ::kill(holder, SIGKILL), ::waitpid(holder, nullptr, 0);
            else
                std::filesystem::remove(logPath);
            CrisisLogger::instance().log("works now");
            return loggedLines().size() == 1 ? 0 : 40;
        });
        EXPECT_EQ(failedStep, 0) << c.what << " (10: not prepared, 2x: opened, 30: wrong message, 40: no line after)";
        for (const auto& entry : std::filesystem::directory_iterator("/var/tmp"))
            std::filesystem::remove_all(entry.path());
    }
}

// Writers killed at random moments leave at most one cut line each; then two processes
// of two threads each, sharing the file, write whole lines, each process's in stamp order.
TEST_F(Crisis, KilledAndConcurrentWritersLeaveWholeOrCutLinesNeverGluedOnes)
{
    constexpr int kills = 30;
    constexpr unsigned perWriter = 200;
    std::mt19937 random(12345);
    for (unsigned long k = 0; k < kills; ++k) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        if (writer == 0) {
            std::vector<std::string> messages;
            for (unsigned long n = 0; n < 64; ++n)
                messages.push_back(message(10000 + k * 64 + n));
            CrisisLogger& logger = CrisisLogger::instance(); // opened anew, after a cut line
            if (::write(ready[1], "x", 1) != 1)
                ::_exit(1);
            for (const std::string& m : messages)
                logger.log(m.c_str());
            ::pause();
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 700));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
    CrisisLogger& logger = open();
    const pid_t child = ::fork();
    std::vector<std::thread> threads;
    for (unsigned long t = 0; t < 2; ++t)
        threads.emplace_back([&logger, t, child] {
            for (unsigned long id = ((child == 0 ? 2 : 0) + t) * perWriter, n = 0; n < perWriter; ++id, ++n)
                logger.log(message(id).c_str());
        });
    for (std::thread& thread : threads)
        thread.join();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);

    int counts[3] = {}, concurrent = 0; // neither, cut, whole; whole ones of the threads
    std::string latest[2], bad;
    for (const std::string& line : loggedLines()) {
        const int kind = kindOf(line);
        ++counts[kind + 1];
        if (kind < 0 && bad.empty())
            bad = line.substr(0, 80);
        if (kind == 1 && std::stoul(line.substr(16)) < 4 * perWriter) {
            ++concurrent;
            std::string& previous = latest[std::stoul(line.substr(16)) < 2 * perWriter ? 0 : 1];
            EXPECT_TRUE(previous <= line.substr(0, 12) || previous.rfind("23:59", 0) == 0)
                << previous << " before " << line.substr(0, 12);
            previous = line.substr(0, 12);
        }
    }
    EXPECT_EQ(bad, "") << "a line that is neither whole nor cut short";
    EXPECT_LE(counts[1], kills);
    EXPECT_EQ(concurrent, static_cast<int>(4 * perWriter));
    EXPECT_GT(counts[2], concurrent);
    std::cout << counts[2] << " whole lines, " << counts[1] << " cut by " << kills << " kills\n";
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    realRoot = ::geteuid() == 0;
    notIsolated = TevTest::isolateVarTmp();
    return RUN_ALL_TESTS();
}
