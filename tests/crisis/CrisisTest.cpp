// The crisis log, on Linux and on Windows. The log is one per process, so every case that
// opens it does so in a child process of its own (a death test), and the test process
// checks the file afterwards. On Linux the tests get a /var/tmp of their own
// (PrivateVarTmp.h) and are skipped, saying why, where none can be had; on Windows the log
// is C:\tev.log of the Wine prefix, put back as it was found.
#include "Tev/Framework/CrisisLogging/CrisisLogger.h"
#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Platform/TextModeWrite.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include "PrivateVarTmp.h"

#  include <fcntl.h>
#  include <pthread.h>
#  include <sys/file.h>
#  include <sys/mount.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace {

using ::testing::ExitedWithCode;
using Tev::Framework::CrisisLogging::CrisisLogger;
namespace fs = std::filesystem;

#if defined(_WIN32)
const char* const logPath = "C:\\tev.log";
const char* const target = "C:\\tev-test-target";
const std::string lineEnd = "\r\n";
const std::string stamp = "\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - "; // GoogleTest's own regular expressions here
// Opened for writing and shared for reading only, as the crisis logger does: how to let
// go of it, or null if another open holds it.
std::function<void()> hold()
{
    const HANDLE h =
        CreateFileA(logPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? std::function<void()>() : [h] { CloseHandle(h); };
}
// Wine's Unix name of a Windows path, when the program runs under Wine.
using UnixName = char* (*)(const wchar_t*);
const auto unixName = reinterpret_cast<UnixName>(
    reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
// Under Wine: the log made a Unix link to `file` in the folder `target`; with no file,
// both removed. A Unix shell does it, which Wine starts with no handle to wait on: what it
// makes is waited for, once what the log was is gone (Windows programs see a link as a
// plain file, and delete its target).
bool linkLog(const std::string& file)
{
    std::error_code ignored;
    fs::remove(logPath, ignored);
    char* drive = unixName(L"C:\\");
    const std::string to = "tev-test-target/" + file;
    std::string command = "/bin/sh -c \"cd '" + std::string(drive) + "' && rm -f tev.log && rm -rf tev-test-target";
    HeapFree(GetProcessHeap(), 0, drive);
    if (!file.empty())
        command +=
            " && mkdir -p '" + to.substr(0, to.rfind('/')) + "' && : >'" + to + "' && ln -s '" + to + "' tev.log";
    command += "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread), CloseHandle(started.hProcess);
    const auto done = [&file] { return file.empty() ? !fs::exists(target) : fs::exists(logPath); };
    for (int i = 0; i < 500 && !done(); ++i)
        Sleep(10);
    return done();
}
#else
const char* const logPath = "/var/tmp/tev.log";
const char* const target = "/var/tmp/tev-test-target";
const std::string lineEnd = "\n";
const std::string stamp = "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} - ";
// Opened and locked, as the crisis logger does: how to let go of it, or null if another
// open holds it.
std::function<void()> hold()
{
    const int fd = ::open(logPath, O_RDWR | O_CREAT, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return ::close(fd), nullptr; // nothing to close if it did not open
    return [fd] { ::close(fd); };
}
bool realRoot = false; // may give files away to another user
#endif
const std::string refusal = std::string("Error opening log file: '") + logPath + "'";
std::string notIsolated; // why the tests cannot run here, if they cannot

const auto readLog = [] { return (std::ostringstream() << std::ifstream(logPath, std::ios::binary).rdbuf()).str(); };

// 0 if instance() opened the log, 1 if it refused it with the documented message, 2 else.
int tryToOpen()
{
    try {
        return CrisisLogger::instance(), 0;
    } catch (const Tev::Framework::Exceptions::FrameworkException& e) {
        return e.message() == refusal ? 1 : 2;
    }
}

// Whether another open (in any process) holds the log.
bool held()
{
    const std::function<void()> letGo = hold();
    return letGo ? (letGo(), false) : true;
}

class Crisis : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!notIsolated.empty())
            GTEST_SKIP() << notIsolated;
        std::error_code ignored; // on Windows a death test's child runs this too, while its parent holds the log
        for (const char* leftover : {logPath, target})
            fs::remove_all(leftover, ignored);
    }
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

// On Windows the file is written in text mode; a write cut short between the "\r" and the
// "\n" of a line end goes on with the "\n", and so does the next write, when the disk was
// full, with the "\n" that closes the cut line: never "\r\r\n".
TEST(CrisisTextMode, LineEndsArriveAsCrLfWhateverTheWritesLetThrough)
{
    const std::string data = "ab\n\ncd\n" + std::string(600, 'x') + "\n";
    const std::string expected = std::regex_replace(data, std::regex("\n"), "\r\n");
    std::string file;
    std::size_t most = 0, left = 0; // what one write takes, what the disk has room for
    const auto write = [&file, &most, &left](const char* text, std::size_t n) {
        n = std::min({n, most, left});
        left -= n;
        file.append(text, n);
        return n;
    };
    bool endsInCr = false;
    for (std::size_t bytes : {1u, 3u, 1000u}) {
        file.clear(), most = bytes, left = 10000;
        EXPECT_EQ(Tev::Platform::writeTextMode(data.data(), data.size(), endsInCr, write), data.size());
        EXPECT_EQ(file, expected) << most << " bytes a write";
    }
    for (std::size_t room : {2u, 3u}) { // for "ab", and the "\r" perhaps, not the line end; then room again
        file.clear(), left = room;
        EXPECT_EQ(Tev::Platform::writeTextMode(data.data(), data.size(), endsInCr, write), 2u);
        left = 100;
        EXPECT_EQ(Tev::Platform::writeTextMode("\nd\n", 3, endsInCr, write), 3u);
        EXPECT_EQ(file, "ab\r\nd\r\n") << room;
    }
}

// Lines follow what was in the file: at once an empty file, a line end a cut line ("x"),
// the "\n" that completes it a line end cut inside ("x\r").
TEST_F(Crisis, LinesAreStampMessageAndLineEndAfterWhatWasThere)
{
    const std::string e = lineEnd, longMessage(5000, 'y');
    const std::pair<std::string, std::string> cases[] = {{"", ""}, {"x", "x" + e}, {"x\r", "x\r\n"}};
    for (const auto& [found, closed] : cases) {
        std::ofstream(logPath, std::ios::binary) << found;
        EXPECT_EXIT(
            {
                CrisisLogger& logger = CrisisLogger::instance();
                for (const char* m :
                     {"abc", "", "first\nsecond", static_cast<const char*>(nullptr), longMessage.c_str()})
                    logger.log(m);
                std::exit(&CrisisLogger::instance() == &logger ? 0 : 1);
            },
            ExitedWithCode(0), "");
        EXPECT_THAT(readLog(), ::testing::MatchesRegex(closed + stamp + "abc" + e + stamp + e + stamp + "first" + e +
                                                       "second" + e + stamp + longMessage + e));
    }
#if !defined(_WIN32)
    struct stat status {};
    EXPECT_TRUE(::stat(logPath, &status) == 0 && (status.st_mode & 07777) == 0600) << "a log for our eyes only";
#endif
}

// Each cause of a refusal, in a process of its own: refused twice with the documented
// message, then, the cause removed, opened. The file is let go when its logger is destroyed.
TEST_F(Crisis, RefusedFilesThrowEveryTimeUntilTheCauseIsGone)
{
    std::vector<std::function<bool()>> causes = {
        [] { return fs::create_directory(logPath); },
        [] { return std::ofstream(target).good() && (fs::create_hard_link(target, logPath), true); },
#if !defined(_WIN32)
        [] { return std::ofstream(target).good() && ::symlink(target, logPath) == 0; },
        [] { return ::mkfifo(logPath, 0600) == 0; },
#endif
    };
#if !defined(_WIN32)
    if (realRoot) // a file of another user's
        causes.push_back([] { return std::ofstream(logPath).good() && ::chown(logPath, 65534, 65534) == 0; });
#endif
    for (const auto& cause : causes) {
        ASSERT_TRUE(cause());
        EXPECT_EXIT(std::exit(tryToOpen() == 1 && tryToOpen() == 1 && (fs::remove(logPath), tryToOpen() == 0) ? 0 : 1),
                    ExitedWithCode(0), "");
        fs::remove_all(logPath);
    }
    EXPECT_EXIT(std::exit((CrisisLogger::instance(), held() && (delete &CrisisLogger::instance(), !held())) ? 0 : 1),
                ExitedWithCode(0), "")
        << "held while open, let go by its destructor";
}

#if !defined(_WIN32)

// A line cut short by a full disk is closed by the next line, once: when only the line end
// that closed an earlier cut line got through, the file ends a line, and the next line
// starts no empty one.
TEST_F(Crisis, ACutLineIsClosedByTheNextLineOnce)
{
    EXPECT_EXIT(
        {
            if (::unshare(CLONE_NEWNS) != 0 || ::mount("tmpfs", "/var/tmp", "tmpfs", 0, "size=8k") != 0)
                std::exit(2);
            std::ofstream(logPath) << std::string(4095, 'x');           // a cut line, one byte short of a page
            std::ofstream("/var/tmp/filler") << std::string(4096, 'f'); // the other page
            CrisisLogger::instance().log("lost but its first byte");
            fs::remove("/var/tmp/filler");
            CrisisLogger::instance().log("def");
            std::cerr << readLog().substr(4090);
            std::exit(0);
        },
        ExitedWithCode(0), ::testing::ContainsRegex("^xxxxx\n" + stamp + "def\n$"));
}

// log() is no cancellation point: a thread with a cancel pending writes its line, and the
// cancel takes it at its next cancellation point, outside the library.
TEST_F(Crisis, AThreadBeingCancelledWritesItsLine)
{
    const auto body = [](void*) -> void* {
        CrisisLogger& logger = CrisisLogger::instance();
        ::pthread_cancel(::pthread_self());
        logger.log("cancel pending");
        ::pthread_testcancel();
        return nullptr;
    };
    pthread_t thread;
    void* result = nullptr;
    EXPECT_EXIT(std::exit(::pthread_create(&thread, nullptr, body, nullptr) || ::pthread_join(thread, &result) ||
                          result != PTHREAD_CANCELED),
                ExitedWithCode(0), "");
    EXPECT_THAT(readLog(), ::testing::MatchesRegex(stamp + "cancel pending\n"));
}

// Writers killed at random moments leave at most one cut line each; then two processes of
// two threads each, sharing the file, write whole lines, each process's in stamp order.
TEST_F(Crisis, KilledAndConcurrentWritersLeaveWholeOrCutLinesNeverGluedOnes)
{
    const auto message = [](unsigned long id) { // letters only after the number: no line passes for another's rest
        std::string text = "W" + std::to_string(id) + ":";
        for (std::size_t i = text.size(); i < 32 * 1024; ++i) // pages long: a kill can land inside a line
            text.push_back(static_cast<char>('a' + (id + i) % 26));
        return text + "#";
    };
    constexpr int kills = 30;
    std::mt19937 random(12345);
    for (int k = 0; k < kills; ++k) {
        const auto delay = static_cast<useconds_t>(random() % 700 + 1);
        const auto killedWhileWriting = [&message, delay, k] {
            std::vector<std::string> lines; // made first, so that the time goes into writing them
            for (unsigned long n = 0; n < 64; ++n)
                lines.push_back(message(10000 + 100 * static_cast<unsigned long>(k) + n));
            CrisisLogger& logger = CrisisLogger::instance(); // opened anew, after a cut line
            logger.log(lines[0].c_str()); // which reads the time zone: from now on lines take microseconds
            ::ualarm(delay, 0);
            for (const std::string& line : lines)
                logger.log(line.c_str());
            std::exit(1); // never reached
        };
        EXPECT_EXIT(killedWhileWriting(), ::testing::KilledBySignal(SIGALRM), "");
    }
    const auto twoProcessesOfTwoThreads = [&message] {
        CrisisLogger& logger = CrisisLogger::instance();
        logger.log(message(800).c_str()); // closes a cut line before two processes would both close it
        const unsigned long process = ::fork() == 0 ? 1 : 0;
        std::thread threads[2];
        for (unsigned long t = 0; t < 2; ++t)
            threads[t] = std::thread([&logger, &message, process, t] {
                for (unsigned long n = 0; n < 200; ++n)
                    logger.log(message((2 * process + t) * 200 + n).c_str());
            });
        threads[0].join(), threads[1].join();
        if (process == 1)
            ::_exit(0);
        ::wait(nullptr);
        std::exit(0);
    };
    EXPECT_EXIT(twoProcessesOfTwoThreads(), ExitedWithCode(0), "");

    std::istringstream lines(readLog());
    int whole = 0, cut = 0, concurrent = 0;
    std::string latest[2];
    for (std::string line; std::getline(lines, line);) {
        const bool shaped = std::regex_match(line.substr(0, 17), std::regex(stamp + "W[0-9]"));
        const unsigned long id = shaped ? std::stoul(line.substr(16)) : 0;
        if (!shaped || message(id) != line.substr(15)) { // cut short, even inside the stamp; never run on
            EXPECT_TRUE(shaped || line.size() < 17) << "neither a line nor a cut one: " << line.substr(0, 80);
            EXPECT_EQ(message(id).rfind(line.substr(15), 0), 0u) << "neither whole nor cut short: " << id;
            ++cut;
            continue;
        }
        ++whole;
        if (id < 800) { // the two processes: each one's lines in the order of their stamps
            std::string& previous = latest[id / 400];
            EXPECT_TRUE(previous <= line.substr(0, 12) || previous.rfind("23:59", 0) == 0) << previous << " " << line;
            previous = line.substr(0, 12), ++concurrent;
        }
    }
    EXPECT_LE(cut, kills);
    std::cout << whole << " whole lines, " << cut << " cut by " << kills << " kills\n";
    EXPECT_EQ(concurrent, 800);
    EXPECT_GT(whole, concurrent);
}

#else

// Under Wine, a Unix link in the log's place: to another file, and to one whose name is
// beyond MAX_PATH, which cannot be compared.
TEST_F(Crisis, UnixLinksUnderWineAreRefused)
{
    if (unixName == nullptr)
        GTEST_SKIP() << "not under Wine";
    const std::string folder(140, 'f');
    for (const std::string& file : {std::string("f"), folder + "/" + folder + "/f"}) {
        ASSERT_TRUE(linkLog(file));
        EXPECT_EXIT(std::exit(tryToOpen()), ExitedWithCode(1), "") << file.size();
    }
    EXPECT_TRUE(linkLog(""));
}
#endif

// While another process holds the log, instance() is refused.
TEST_F(Crisis, HeldByAnotherProcessIsRefused)
{
    const std::function<void()> letGo = hold();
    EXPECT_EXIT(std::exit(tryToOpen()), ExitedWithCode(1), "");
    ASSERT_TRUE(letGo != nullptr);
    letGo();
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#if defined(_WIN32)
    const bool existed = fs::exists(logPath);
    const std::string before = readLog();
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    fs::remove_all(logPath, ignored);
    fs::remove_all(target, ignored);
    if (existed) // put back as it was found
        std::ofstream(logPath, std::ios::binary) << before;
    return result;
#else
    realRoot = ::geteuid() == 0;
    notIsolated = TevTest::isolateVarTmp();
    return RUN_ALL_TESTS();
#endif
}
