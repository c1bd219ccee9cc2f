// The crisis log. Every test process has a /var/tmp of its own (PrivateVarTmp.h);
// where that cannot be had, the tests are skipped and say why.
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "PrivateVarTmp.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Tev::Framework::CrisisLogging::CrisisLogger;
using Tev::Framework::Exceptions::FrameworkException;

const char* const logPath = "/var/tmp/tev.log";
const std::string refusal = "Error opening log file: '/var/tmp/tev.log'";
std::string notIsolated; // why the tests cannot run here, if they cannot
bool realRoot = false;   // may give files away to another user

// Whether `line` begins like "HH:MM:SS.mmm - " for its first `length` bytes at most.
bool stampShaped(const std::string& line, std::size_t length = 15)
{
    const std::string shape = "00:00:00.000 - ";
    if (line.size() < length)
        length = line.size();
    for (std::size_t i = 0; i < length && i < shape.size(); ++i)
        if (shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) == 0 : line[i] != shape[i])
            return false;
    return true;
}

// The message of a stamped line, or false.
bool messageOf(const std::string& line, std::string& text)
{
    if (line.size() < 15 || !stampShaped(line))
        return false;
    text = line.substr(15);
    return true;
}

bool writeFile(const char* path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
    return bool(out);
}

std::string readLog()
{
    std::ifstream in(logPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
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
std::string message(unsigned id, std::size_t length)
{
    static std::vector<std::string> letters(26);
    std::string& body = letters[id % 26];
    if (body.size() != length) {
        body.clear();
        for (std::size_t i = 0; i < length; ++i)
            body.push_back(static_cast<char>('a' + (id + i) % 26));
    }
    const std::string number = "W" + std::to_string(id) + ":";
    return number + body.substr(number.size(), length - number.size() - 1) + "#";
}

struct LineCount {
    int whole = 0;
    int cut = 0;
    std::string bad; // the first line that is neither
};

// Sorts each line of the log into whole, cut short, or bad.
LineCount checkLines(std::size_t messageLength)
{
    LineCount count;
    for (const std::string& line : lines(readLog())) {
        std::string text;
        bool cut = false;
        if (!messageOf(line, text)) {
            cut = !line.empty() && stampShaped(line);
        } else if (text.size() > 1 && text[0] == 'W' && text.find(':') != std::string::npos) {
            const std::string expected = message(static_cast<unsigned>(std::stoul(text.substr(1))), messageLength);
            if (text == expected) {
                ++count.whole;
                continue;
            }
            cut = text.size() < expected.size() && expected.compare(0, text.size(), text) == 0;
        } else {
            cut = text.find_first_not_of("0123456789", 1) == std::string::npos && (text.empty() || text[0] == 'W');
        }
        if (cut)
            ++count.cut;
        else if (count.bad.empty())
            count.bad = line.substr(0, 80);
    }
    return count;
}

class Crisis : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!notIsolated.empty())
            GTEST_SKIP() << notIsolated;
    }
};

TEST(CrisisTimeStamp, IsZeroPaddedTimeOfDayWithMilliseconds)
{
    const struct {
        Tev::Platform::TimeOfDay time;
        const char* text;
    } cases[] = {
        {{9, 5, 3, 42}, "09:05:03.042"},
        {{0, 0, 0, 7}, "00:00:00.007"},
        {{23, 59, 59, 999}, "23:59:59.999"},
        {{12, 30, 60, 0}, "12:30:60.000"},
    };
    for (const auto& c : cases) {
        char out[Tev::Framework::CrisisLogging::timeStampLength];
        Tev::Framework::CrisisLogging::formatTimeStamp(c.time, out);
        EXPECT_EQ(std::string(out, sizeof out), c.text);
    }
}

TEST_F(Crisis, LinesAreStampMessageAndLineEndAfterWhatWasThere)
{
    ASSERT_TRUE(writeFile(logPath, "earlier line\n"));
    ASSERT_EQ(::chmod(logPath, 0666), 0);
    CrisisLogger& logger = CrisisLogger::instance();
    EXPECT_EQ(&CrisisLogger::instance(), &logger);
    const std::string atStackLimit(240, 'y');
    const std::string longMessage(5000, 'x');
    const std::time_t before = std::time(nullptr);
    for (const char* m : {"abc", "", "first\nsecond", static_cast<const char*>(nullptr), atStackLimit.c_str(), longMessage.c_str()})
        logger.log(m);

    struct stat status {};
    ASSERT_EQ(::stat(logPath, &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u) << "a log of our own is for our eyes only";
    const std::vector<std::string> written = lines(readLog());
    const std::vector<std::string> expected = {"earlier line", "abc", "", "first", "second", atStackLimit, longMessage};
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_EQ(written[0], expected[0]);
    EXPECT_EQ(written[4], "second") << "a line end inside a message starts a line without a stamp";
    std::tm local{};
    ::localtime_r(&before, &local);
    const int callSeconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    for (std::size_t i : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{6}}) {
        std::string text;
        ASSERT_TRUE(messageOf(written[i], text)) << written[i];
        EXPECT_EQ(text, expected[i]);
        const int stampedSeconds = std::stoi(written[i].substr(0, 2)) * 3600 + std::stoi(written[i].substr(3, 2)) * 60
                                   + std::stoi(written[i].substr(6, 2));
        EXPECT_LE((stampedSeconds - callSeconds + 86400) % 86400, 5) << "not the local time of the call";
    }
}

TEST_F(Crisis, RefusedFilesThrowEveryTimeUntilTheCauseIsGone)
{
    const struct {
        const char* what;
        std::function<bool()> prepare;
        bool needsRealRoot;
    } cases[] = {
        {"a directory", [] { return ::mkdir(logPath, 0700) == 0; }, false},
        {"a symbolic link", [] { return writeFile("/var/tmp/target", "") && ::symlink("/var/tmp/target", logPath) == 0; }, false},
        {"a FIFO", [] { return ::mkfifo(logPath, 0600) == 0; }, false},
        {"a second name of another file", [] { return writeFile("/var/tmp/target", "") && ::link("/var/tmp/target", logPath) == 0; }, false},
        {"another user's file", [] { return writeFile(logPath, "") && ::chown(logPath, 65534, 65534) == 0; }, true},
    };
    for (const auto& c : cases) {
        if (c.needsRealRoot && !realRoot) {
            std::cout << "skipped: " << c.what << " (needs root)\n";
            continue;
        }
        const int failedStep = inChild([&c] {
            if (!c.prepare())
                return 10;
            for (int attempt = 0; attempt < 2; ++attempt) {
                try {
                    CrisisLogger::instance();
                    return 20 + attempt;
                } catch (const FrameworkException& e) {
                    if (e.message() != refusal)
                        return 30;
                }
            }
            std::remove(logPath);
            ::rmdir(logPath);
            CrisisLogger::instance().log("works now");
            return lines(readLog()).size() == 1 ? 0 : 40;
        });
        EXPECT_EQ(failedStep, 0) << c.what << " (10: not prepared, 2x: opened, 30: wrong message, 40: no line after)";
        for (const auto& entry : std::filesystem::directory_iterator("/var/tmp"))
            std::filesystem::remove_all(entry.path());
    }
}

TEST_F(Crisis, AFileHeldByAnotherProcessIsRefusedUntilItIsLetGo)
{
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(release[1]);
        CrisisLogger::instance().log("holder");
        char byte = 1;
        ::_exit(::write(ready[1], &byte, 1) == 1 && ::read(release[0], &byte, 1) >= 0 ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(inChild([] {
                  try {
                      CrisisLogger::instance();
                  } catch (const FrameworkException& e) {
                      return e.message() == refusal ? 0 : 2;
                  }
                  return 1;
              }),
              0);
    ::close(release[1]);
    ::waitpid(holder, nullptr, 0);
    CrisisLogger::instance().log("second");
    EXPECT_EQ(lines(readLog()).size(), 2u);
}

TEST_F(Crisis, WritersKilledMidLineLeaveOneCutLineEachAndNoGluedLines)
{
    constexpr int kills = 30;
    constexpr std::size_t length = 32 * 1024; // several pages, so that a kill can land inside a line
    constexpr unsigned linesPerWriter = 64;
    std::mt19937 random(12345);
    for (int k = 0; k < kills; ++k) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        if (writer == 0) {
            std::vector<std::string> messages;
            for (unsigned n = 0; n < linesPerWriter; ++n)
                messages.push_back(message(static_cast<unsigned>(k) * linesPerWriter + n, length));
            CrisisLogger& logger = CrisisLogger::instance();
            char byte = 1;
            if (::write(ready[1], &byte, 1) != 1)
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
    const LineCount count = checkLines(length);
    EXPECT_EQ(count.bad, "") << "a line that is neither whole nor a cut one";
    EXPECT_LE(count.cut, kills);
    EXPECT_GT(count.whole, 0);
    std::cout << count.whole << " whole lines, " << count.cut << " cut by " << kills << " kills\n";
}

TEST_F(Crisis, ParentAndForkedChildShareTheFileWithoutMixingLines)
{
    constexpr std::size_t length = 9 * 1024;
    constexpr unsigned perProcess = 1000;
    CrisisLogger& logger = CrisisLogger::instance();
    const pid_t child = ::fork();
    const unsigned first = child == 0 ? perProcess : 0;
    for (unsigned id = first; id < first + perProcess; ++id)
        logger.log(message(id, length).c_str());
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const LineCount count = checkLines(length);
    EXPECT_EQ(count.bad, "");
    EXPECT_EQ(count.cut, 0);
    EXPECT_EQ(count.whole, static_cast<int>(2 * perProcess));
}

TEST_F(Crisis, ThreadsLogWholeLinesInStampOrder)
{
    constexpr unsigned threads = 8;
    constexpr unsigned perThread = 300;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (unsigned n = 0; n < perThread; ++n)
                CrisisLogger::instance().log(message(t * perThread + n, 300).c_str());
        });
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(checkLines(300).whole, static_cast<int>(threads * perThread));
    std::string previous;
    for (const std::string& line : lines(readLog())) {
        const std::string stamp = line.substr(0, 12);
        EXPECT_TRUE(previous <= stamp || previous.substr(0, 2) == "23") << previous << " then " << stamp;
        previous = stamp;
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    realRoot = ::geteuid() == 0;
    notIsolated = TevTest::isolateVarTmp();
    return RUN_ALL_TESTS();
}
