// What the model does not cover: exception texts, stream formatting, backends and
// channels that throw, threads, the loader's lock, memory over many loggers, the
// teardown at exit and the virtual slots.
#include "AllocationProbe.h"
#include "Recording.h"

#include "Tev/Framework/GenericLogger/BackendLibraryError.h"
#include "Tev/Framework/Management/PropertyManager.h"
#include "Tev/Platform/LightMutex.h"

#include <gmock/gmock.h>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <linux/filter.h>
#  include <linux/membarrier.h>
#  include <linux/seccomp.h>
#  include <malloc.h>
#  include <sys/prctl.h>
#  include <sys/syscall.h>
#  include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

using namespace TevTest;
using ::testing::ThrowsMessage;

// One recording backend, installed; nothing else left behind.
class Logging : public ::testing::Test {
protected:
    void SetUp() override { resetLogging(), Logger::installBackend(&backend); }
    void TearDown() override { resetLogging({&backend}); }
    std::string lastText()
    {
        const std::vector<std::string> events = journal.take();
        return events.empty() ? "(none)" : events.back().substr(events.back().find(" 50 ") + 4);
    }

    Journal journal;
    RecordingBackend backend{"B", journal};
};

TEST(LoggerException, WhatNamesTypeFileLineAndMessageOnceAndCopiesTakeItAlong)
{
    const std::string type = "Exception 'Tev::Framework::GenericLogger::LoggerException' (";
    const struct {
        LoggerException error;
        const char* what;
    } cases[] = {{LoggerException("some\\file", 7), "some\\file:7): "},
                 {LoggerException("m", "f", -12), "f:-12): m"},
                 {LoggerException(nullptr, nullptr, 0), ":0): "},
                 {LoggerException("m", "f", INT_MIN), "f:-2147483648): m"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.error.what(), type + c.what);

    LoggerException error("message", "file", 3);
    const std::string first = error.what();
    error.lineNumber(8);
    error.filename("other");
    LoggerException assigned("x", "y", 1);
    assigned = error;
    const LoggerException copy(assigned);
    for (const LoggerException* e : std::initializer_list<const LoggerException*>{&error, &assigned, &copy})
        EXPECT_TRUE(e->what() == first && e->lineNumber() == 8 && std::string(e->filename()) == "other")
            << "composed once, copied along";
}

TEST_F(Logging, StreamsFormatLikeAFreshOstreamInTheClassicLocale)
{
    Logger* log = Logger::getLogger("stream");
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const auto expectAsOstream = [&](const auto& value) {
        std::ostringstream expected;
        expected.imbue(std::locale::classic());
        expected << '<' << value << '>';
        LogStream(log, LevelError) << '<' << value << '>';
        EXPECT_EQ(lastText(), expected.str());
    };
    expectAsOstream(1234567), expectAsOstream(LLONG_MIN), expectAsOstream(ULLONG_MAX);
    expectAsOstream(static_cast<short>(-7)), expectAsOstream(static_cast<unsigned char>('z')), expectAsOstream(true);
    expectAsOstream(std::string_view("a view"));
    for (double d : {0.0, -0.0, 1.0 / 3.0, 123456.0, 1234567.0, 1e-5, 2.5e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min()})
        expectAsOstream(d);
    expectAsOstream(3.14159265f), expectAsOstream(1.5L);
    std::locale::global(previous);

    const char* none = nullptr;
    LogStream(log, LevelError) << std::hex << 255 << ' ' << std::setw(4) << std::setfill('.') << 42 << none << '|'
                               << std::setprecision(3) << 3.14159;
    EXPECT_EQ(lastText(), "ff ..2a|3.14");
    LogStream(log, LevelError) << 255 << ' ' << 3.14159 << " next message, fresh state" << std::setw(9);
    EXPECT_EQ(lastText(), "255 3.14159 next message, fresh state");
    LogStream(log, LevelError) << std::left << 7 << '|' << 1.0 / 3.0;
    EXPECT_EQ(lastText(), "7|0.333333") << "a width or precision left over from the last message";
    static const int word = std::ios_base::xalloc();
    LogStream(log, LevelError) << [](std::ostream& out) -> std::ostream& {
        out.imbue(std::locale(out.getloc(), new Grouping));
        out.exceptions(std::ios::badbit), out.tie(&std::cout), out.iword(word) = 7;
        return out;
    } << 1234567;
    EXPECT_EQ(lastText(), "1,234,567");
    LogStream(log, LevelError) << [](std::ostream& out) -> std::ostream& {
        return out << out.exceptions() << (out.tie() != nullptr) << out.iword(word) << ' ';
    } << 1234567;
    EXPECT_EQ(lastText(), "000 1234567") << "a locale, exception mask, tie or word left over from the last message";
    const std::string big(300000, 'x');
    LogStream(log, LevelError) << big;
    EXPECT_EQ(lastText(), big);
    LogStream(log, LevelError) << "short after long";
    EXPECT_EQ(lastText(), "short after long");
    LogStream(log, LevelError) << std::string("a\0b\0\0", 5) << '\0' << "end"; // channels take a C string
    EXPECT_EQ(lastText(), "a\uFFFDb\uFFFD\uFFFD\uFFFDend");
}

TEST_F(Logging, StreamsDeliverOnceWhenTheyEnd)
{
    Logger* log = Logger::getLogger("s");
    journal.take();
    log->stream();
    {
        LogStream first(log, LevelError), second(log, LevelInfo);
        first << "first";
        second << "second";
        LogStream moved(std::move(first));
        moved << " moved";
        LogStream(nullptr, LevelError) << "nowhere";
    }
    EXPECT_EQ(journal.take(),
              (std::vector<std::string>{"B#1 log s 10 ", "B#1 log s 50 first moved", "B#1 log s 20 second"}));
    LogStream across(log, LevelError);
    across << "started here";
    std::thread([&across] { (across << ", ended there").deliver(); }).join();
    EXPECT_EQ(lastText(), "started here, ended there");

    int evaluations = 0;
    const auto counted = [&evaluations](int value) { return ++evaluations, value; };
    TEV_LOG(log, LevelDebug) << counted(1);
    TEV_LOG(log, LevelNone) << counted(2);
    TEV_LOG(static_cast<Logger*>(nullptr), LevelError) << counted(3);
    EXPECT_EQ(evaluations, 0) << "TEV_LOG below the threshold evaluates nothing";
    for (bool condition : {true, false})
        if (condition)
            TEV_LOG(log, LevelError) << "then";
        else
            LogStream(log, LevelError) << "else";
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"B#1 log s 50 then", "B#1 log s 50 else"}));

    backend.onLog = [](const std::string&, LoggingLevel) { throw std::runtime_error("channel"); };
    EXPECT_THROW(LogStream(log, LevelError) << "thrown to the caller", std::runtime_error);
    try {
        LogStream unwound(log, LevelError);
        throw std::logic_error("the caller's own");
    } catch (const std::logic_error&) {
        // The channel's exception was dropped, not thrown into the unwinding.
    }
}

// What a backend or a channel throws reaches the caller, and leaves the state whole: a
// logger whose creation failed is made anew (unless a backend was handed it), a replay
// that failed keeps the cache, and a failed release still closes everything.
TEST_F(Logging, WhatBackendsAndChannelsThrowReachesTheCallerAndLosesNothing)
{
    backend.onCreate = [](const std::string& name) {
        if (name == "handed")
            Logger::getLogger("handed");
        throw std::runtime_error("no channel");
    };
    EXPECT_THROW(Logger::getLogger("refused"), std::runtime_error);
    EXPECT_THROW(Logger::getLogger("handed"), std::runtime_error);
    backend.onCreate = nullptr;
    journal.take();
    Logger::getLogger("refused"), Logger::getLogger("handed");
    EXPECT_EQ(journal.take(), std::vector<std::string>{"B create refused"});

    Logger::uninstallBackend(&backend);
    LogStream(Logger::getLogger("cached"), LevelError) << "kept";
    backend.onLog = [this](const std::string&, LoggingLevel) {
        Logger::uninstallBackend(&backend); // so that this is cached, after what the cache had
        LogStream(Logger::getLogger("cached"), LevelError) << "meanwhile";
        throw std::runtime_error("replay");
    };
    EXPECT_THROW(Logger::installBackend(&backend), std::runtime_error);
    backend.onLog = nullptr;
    journal.take();
    Logger::installBackend(&backend);
    EXPECT_EQ(journal.take(),
              (std::vector<std::string>{"B create cached", "B#3 log cached 50 kept", "B#3 log cached 50 meanwhile",
                                        "B create handed", "B create refused"}))
        << "the failed replay kept its cache, then what was cached meanwhile";

    backend.onRelease = [](const std::string& name) { throw std::runtime_error("releasing " + name); };
    journal.take();
    EXPECT_THAT([] { Logger::closeAllLoggers(); }, ThrowsMessage<std::runtime_error>("releasing cached"));
    EXPECT_EQ(journal.take().size(), 3u) << "every channel released";
    backend.onRelease = nullptr;
}

TEST_F(Logging, ThreadsLoseNoMessageAndChannelsSeeOneCallAtATime)
{
    std::atomic<int> inside{0}, overlaps{0};
    backend.onLog = [&](const std::string& name, LoggingLevel) {
        overlaps += inside++ != 0;
        std::this_thread::yield();
        --inside;
        if (name[0] == 't') // and every thread logs from inside a channel too
            LogStream(Logger::getLogger("inner"), LevelError) << "nested";
    };
    constexpr int threads = 4, perThread = 2000;
    onThreads(threads, [](int t) {
        Logger* own = Logger::getLogger(("t" + std::to_string(t)).c_str());
        for (int i = 0; i < perThread; ++i) {
            LogStream(Logger::getLogger("shared"), LevelError) << t << ':' << i;
            TEV_LOG(own, LevelError) << i;
        }
    });
    EXPECT_EQ(overlaps.load(), 0);
    std::vector<int> next(threads, 0);
    int own = 0;
    for (const std::string& event : journal.take()) {
        const std::string text = event.substr(event.rfind(' ') + 1);
        if (event.find(" log shared 50 ") == std::string::npos)
            own += event.find(" log t") != std::string::npos;
        else
            EXPECT_EQ(std::stoi(text.substr(text.find(':') + 1)), next[std::stoul(text)]++) << "in each thread's order";
    }
    EXPECT_EQ(next, std::vector<int>(threads, perThread));
    EXPECT_EQ(own, threads * perThread);
}

#if !defined(_WIN32)
// Again where the system refuses membarrier: every command, from the query as the library loads
// (giving the mutex back then fences), or the barrier only; and after load, to a waiter that
// outranks on one processor a holder asleep in a backend.
TEST_F(Logging, MutexLosesNoWakeUpWithoutTheSystemsBarrier)
{
    backend.onLog = [](const std::string&, LoggingLevel) { ::usleep(5000); };
    const auto log = [] { LogStream(Logger::getLogger("x"), LevelError) << 1; };
    cpu_set_t first{};
    sched_param low{1}, high{2}, other{0};
    const bool realTime = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &low) == 0 &&
                          ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &other) == 0;
    for (const unsigned refused : {MEMBARRIER_CMD_QUERY, MEMBARRIER_CMD_PRIVATE_EXPEDITED}) {
        sock_filter refuse[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_membarrier, 0, 2),
                                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, refused, 1, 0),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS)};
        const sock_fprog program{sizeof refuse / sizeof refuse[0], refuse};
        EXPECT_EXIT((::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program),
                     ::alarm(60),
                     ::execl("/proc/self/exe", "logging_tests", "--gtest_filter=*ThreadsLoseNoMessage*", nullptr)),
                    ::testing::ExitedWithCode(0), "")
            << "membarrier command " << refused << " refused";
        if (realTime) {
            EXPECT_EXIT(
                (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program),
                 ::alarm(5), CPU_SET(0, &first), ::sched_setaffinity(0, sizeof first, &first),
                 ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &low), std::thread(log).detach(), ::usleep(2000),
                 ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &high), log(), ::_exit(0)),
                ::testing::ExitedWithCode(0), "")
                << "membarrier command " << refused << " refused after load";
        }
        // Refused only to the thread that switches to fences, the switch ends at the next barrier; none follow.
        const auto under = [&](unsigned action) {
            refuse[5].k = action, ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
            onThreads(4, [&](int) {
                for (int i = 0; i < 1000; ++i)
                    log();
            });
        };
        if (refused == MEMBARRIER_CMD_QUERY)
            continue;
        backend.onLog = [](const std::string&, LoggingLevel) { ::usleep(50); };
        EXPECT_EXIT((::alarm(60), ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0),
                     std::thread(under, SECCOMP_RET_ERRNO | ENOSYS).join(), under(SECCOMP_RET_ALLOW),
                     under(SECCOMP_RET_KILL_PROCESS), ::_exit(0)),
                    ::testing::ExitedWithCode(0), "");
    }
    if (!realTime)
        GTEST_SKIP() << "a waiter that outranks the holder needs real-time scheduling (CAP_SYS_NICE)";
}

// Constant-initialised: a mutex in static storage that an earlier initialiser took stays taken.
[[maybe_unused]] constexpr Tev::Platform::LightMutex constantInitialisedMutex{};
#endif

// The folders of the running program and of the framework library, each with its
// final separator; the separator; the process's id; the loader's reason for a library
// that is not there.
#if defined(_WIN32)
std::string folderOf(HMODULE module)
{
    std::string file(32768, '\0'); // the longest a path gets
    file.resize(GetModuleFileNameA(module, &file[0], 32768));
    return file.substr(0, file.find_last_of('\\') + 1);
}
const std::string programFolder = folderOf(nullptr), separator = "\\";
const std::string libraryFolder = folderOf(GetModuleHandleA("tevframework.dll"));
const std::string processId = std::to_string(GetCurrentProcessId());
std::string notFound(const std::string&)
{
    char text[512];
    std::string reason(text, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            ERROR_MOD_NOT_FOUND, 0, text, sizeof text, nullptr));
    return reason.erase(reason.find_last_not_of("\r\n ") + 1);
}
#else
const std::string programFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/",
                  separator = "/";
const std::string libraryFolder = [] {
    char origin[PATH_MAX] = "";
    void* library = ::dlopen("libtevframework.so.1", RTLD_LAZY | RTLD_NOLOAD);
    ::dlinfo(library, RTLD_DI_ORIGIN, origin);
    ::dlclose(library);
    return std::filesystem::canonical(origin).string() + "/";
}();
const std::string processId = std::to_string(::getpid());
std::string notFound(const std::string& file)
{
    return file + ": cannot open shared object file: No such file or directory";
}
#endif

} // namespace

#if defined(_WIN32)
// The program's own createBackend, where a null module is looked in: a library that
// failed to load must not be taken for the program.
extern "C" __declspec(dllexport) Tev::Framework::GenericLogger::LoggerBackend* createBackend()
{
    return nullptr;
}
#endif

namespace {

// A bare name is looked for beside the program, beside the framework library and in its
// backend folder, then by the system's loader, which never looks in the working directory:
// a library left there is not loaded, nor one that a backend needs. A name with a folder is
// a path from the working directory, on every system (not one beside the library, where the
// program or PATH is). (On Windows this also runs from a program in a folder of its own
// whose path is beyond MAX_PATH, the library found through PATH.)
TEST(BackendLibraries, BareNamesAreLookedForBesideProgramAndLibraryNeverInTheWorkingDirectory)
{
    namespace fs = std::filesystem;
    const auto tried = [](const std::string& file) {
        std::vector<std::string> files{programFolder + file};
        if (libraryFolder != programFolder)
            files.push_back(libraryFolder + file);
        files.insert(files.end(), {libraryFolder + "tevframework" + separator + file, file});
        return files;
    };
    const std::string suffix = TEV_MODULE_SUFFIX, file = "planted_ru" + suffix, needed = "libtevdependency" + suffix;
    const fs::path here = fs::current_path(), planted = fs::temp_directory_path() / ("tev-planted-" + processId);
    const fs::path besideLibrary = fs::path(libraryFolder) / planted.filename();
    for (const fs::path& folder : {planted, besideLibrary}) {
        fs::remove_all(folder); // left by a run that failed
        fs::create_directory(folder);
        fs::copy_file(libraryFolder + "recording_ru" + suffix, folder / file);
    }
    fs::copy_file(libraryFolder + "dependency" + separator + needed, planted / needed);
    fs::current_path(planted);
    const std::string relative = planted.filename().string() + "/planted";
    const struct {
        std::string name;
        std::vector<std::string> files;
        std::string reason;
    } cases[] = {{"planted", tried(file), notFound(file)},
                 {"./nowhere", {fs::absolute("./nowhere_ru" + suffix).string()}, ""},
                 {relative, {fs::absolute(relative + "_ru" + suffix).string()}, ""},
                 {"dependent", tried("dependent_ru" + suffix), notFound(needed)}};
    for (const auto& c : cases)
        EXPECT_THAT([&c] { Logger::installBackend(c.name.c_str()); },
                    ::testing::Throws<BackendLibraryError>(::testing::AllOf(
                        ::testing::Property(&BackendLibraryError::filesTried, ::testing::ElementsAreArray(c.files)),
                        ::testing::Property(&BackendLibraryError::loaderReason,
                                            c.reason.empty() ? notFound(c.files.back()) : c.reason))))
            << c.name;
    EXPECT_NE(Logger::installBackend("./planted"), nullptr);
    EXPECT_NE(Logger::installBackend("recording"), nullptr) << "found beside the library";
    resetLogging();
    fs::current_path(here);
    fs::remove_all(planted), fs::remove_all(besideLibrary);
}

#if !defined(_WIN32) // dlopen, mallinfo2 and exit-time unloading; Windows has the unload test

// Loggers made, refused and closed, backend libraries that fail to load, and threads that log
// and end (a later thread's first message frees what up to 8 of them left), over and over: the
// names stay found, and the library grows neither in live allocations nor in the heap.
TEST_F(Logging, MakingFailingAndClosingOverAndOverKeepsNamesFoundAndMemoryFlat)
{
    // 500 threads log a long message at once and end. The next whole look of the buffer cache
    // frees what they kept: the last, at the 256th, left 256, so it comes 12 threads later.
    Logger* const quiet = Logger::getLogger("quiet");
    quiet->enableLogging(false);
    const long beforeBurst = liveAllocations();
    std::atomic<int> logged{0};
    onThreads(500, [quiet, &logged](int) {
        LogStream(quiet, LevelError) << std::string(50000, 'x');
        for (++logged; logged < 500;)
            std::this_thread::yield();
    });
    for (int later = 0; later < 30; ++later)
        onThreads(1, [quiet](int) { LogStream(quiet, LevelError) << "later"; });
    EXPECT_LT(liveAllocations(), beforeBurst + 2 * 30) << "what the burst kept";
    backend.offers = [](const std::string& name) { return name[0] == 'f' ? throw std::runtime_error("") : false; };
    const auto cycle = [this] {
        onThreads(4, [](int) { LogStream(Logger::getLogger("kept.0"), LevelError) << "from a thread that ends"; });
        onThreads(1, [](int) { LogStream(Logger::getLogger("kept.0"), LevelError) << "then one that frees them"; });
        std::vector<Logger*> kept;
        for (int i = 0; i < 1000; ++i) {
            kept.push_back(Logger::getLogger(("kept." + std::to_string(i)).c_str()));
            EXPECT_THROW(Logger::getLogger(("fails." + std::to_string(i)).c_str()), std::runtime_error);
        }
        // A library; what the loader's reason names.
        for (const auto& [library, reason] :
             {std::pair{"missing", "missing_ru.so"}, {"nofactory", "symbol: createBackend"}})
            EXPECT_THAT([library = library] { Logger::loadBackend(library); },
                        ::testing::Throws<BackendLibraryError>(
                            ::testing::Property(&BackendLibraryError::loaderReason, ::testing::HasSubstr(reason))));
        EXPECT_EQ(std::set<Logger*>(kept.begin(), kept.end()).size(), kept.size());
        for (std::size_t i = 0; i < kept.size(); i += 7)
            EXPECT_EQ(Logger::getLogger(("kept." + std::to_string(i)).c_str()), kept[i]);
        Logger::closeAllLoggers();
        journal.take();
    };
    const auto heap = [] { return sanitized ? 0 : mallinfo2().uordblks + mallinfo2().hblkhd; };
    cycle();
    const long live = liveAllocations();
    const std::size_t inUse = heap();
    for (int k = 0; k < 10; ++k)
        cycle();
    if (allocationProbeActive()) {
        EXPECT_EQ(liveAllocations(), live);
    }
    EXPECT_LT(heap(), inUse + 64 * 1024);
}

// While other threads load a library that asks for a logger from its static initialiser
// and destructor, first one thread installs backend libraries and another closes
// everything, then one logs through a channel that tries to load one: the loader's lock
// and the logging mutex are never taken in opposite orders (a deadlock ends in the test's
// timeout), and a backend installed by name is installed whole.
TEST_F(Logging, LibrariesThatLogWhileTheyLoadNeverWaitForALoader)
{
    backend.onLog = [](const std::string&, LoggingLevel) {
        EXPECT_THROW(Logger::loadBackend("null"), LoggerException);
    };
    std::atomic<int> missing{0};
    for (const bool nested : {false, true}) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        onThreads(3, [until, nested, &missing](int t) {
            while (std::chrono::steady_clock::now() < until) {
                if (t == 0 && !nested)
                    missing += Logger::installBackend("recording") == nullptr;
                else if (t == 0)
                    LogStream(Logger::getLogger("loads"), LevelError) << "from inside";
                else if (t == 1 && !nested)
                    Logger::closeAllLoggers();
                else if (void* library = ::dlopen("static_ru.so", RTLD_NOW | RTLD_LOCAL))
                    ::dlclose(library);
                else
                    return ADD_FAILURE() << ::dlerror();
            }
        });
    }
    EXPECT_EQ(missing, 0);
}

// Interposed, to see what the framework unloads as it is torn down when the process ends.
bool reportUnloads = false;

} // namespace

extern "C" __attribute__((visibility("default"))) int dlclose(void* handle)
{
    if (reportUnloads)
        std::fputs("dlclose\n", stderr);
    static const auto next = reinterpret_cast<int (*)(void*)>(::dlsym(RTLD_NEXT, "dlclose"));
    return next(handle);
}

namespace {

TEST(LoggingTeardown, KeptChannelsKeepTheirLibrariesLoaded)
{
    for (bool keep : {false, true}) {
        const auto exitWithALoggerOfALoadedBackend = [keep] {
            Logger::installBackend("recording");
            LogStream(Logger::getLogger("kept"), LevelError) << "logged";
            Logger::unloadLoggingChannels(!keep);
            reportUnloads = true;
            std::exit(0);
        };
        const ::testing::Matcher<const std::string&> unloads = ::testing::HasSubstr("dlclose");
        EXPECT_EXIT(exitWithALoggerOfALoadedBackend(), ::testing::ExitedWithCode(0),
                    keep ? ::testing::Not(unloads) : unloads);
    }
}

#endif

// Backends built against another build of the headers find every virtual operation in
// the same slot: the destructor first (two slots), then the others in order.
template <typename Member>
std::ptrdiff_t slotOf(Member member)
{
    // Itanium C++ ABI: a pointer to a virtual member holds 1 + its offset in the table.
    std::ptrdiff_t representation[2];
    static_assert(sizeof member == sizeof representation, "not an Itanium member pointer");
    std::memcpy(representation, &member, sizeof member);
    return (representation[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(Abi, VirtualOperationsKeepTheirSlots)
{
    using Tev::Framework::Management::PropertyManager;
    const std::pair<std::ptrdiff_t, std::ptrdiff_t> slots[] = {{slotOf(&LoggerBackend::createChannel), 2},
                                                               {slotOf(&LoggingChannel::release), 2},
                                                               {slotOf(&LoggingChannel::log), 3},
                                                               {slotOf(&LoggerException::message), 2},
                                                               {slotOf(&LoggerException::what), 3},
                                                               {slotOf(&PropertyManager::getProperty), 2},
                                                               {slotOf(&PropertyManager::hasProperty), 3},
                                                               {slotOf(&PropertyManager::setProperty), 4},
                                                               {slotOf(&PropertyManager::clearProperty), 5},
                                                               {slotOf(&PropertyManager::propertyNames), 6}};
    for (std::size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i].first, slots[i].second) << "operation " << i;
}

} // namespace
