// Loads the framework into this process (through a client library that links it), uses
// it, unloads it, and checks what its teardown did. This program does not link the
// framework, so that the framework really leaves the process.

#include "AllocationProbe.h"
#include "UnloadScenario.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// What differs between the platforms: loading, and what a cycle must not leave behind.
#if defined(_WIN32)
#  include <windows.h>

struct Host {
    static HMODULE load(const char* file) { return LoadLibraryA(file); }
    static auto entry(HMODULE dll, const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(dll, name)); }
    static bool unload(HMODULE dll) { return FreeLibrary(dll) != 0; }
    static bool frameworkLoaded() { return GetModuleHandleA(TEV_FRAMEWORK_LIBRARY) != nullptr; }
    static std::size_t heapInUse() // the C runtime's, which the framework shares
    {
        std::size_t bytes = 0;
        _HEAPINFO entry{};
        while (_heapwalk(&entry) == _HEAPOK)
            bytes += entry._useflag == _USEDENTRY ? entry._size : 0;
        return bytes;
    }
    static long handles()
    {
        DWORD count = 0;
        GetProcessHandleCount(GetCurrentProcess(), &count);
        return static_cast<long>(count);
    }
    static void checkLeaks(bool) {}
    static constexpr std::size_t heapSlack = 4096; // one block left per cycle would show
    // A replaced operator new does not reach a DLL: the framework frees the value unseen.
    static constexpr const char* unseen = "property value freed";
};
#else
#  include <dlfcn.h>
#  include <malloc.h>
#  include <sys/mman.h>
#  include <sys/syscall.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <filesystem>
#  include <fstream>

// Leak checkers would rightly report what the framework is meant to leave behind at
// unload (still-registered objects, loggers kept by unloadLoggingChannels(false)).
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

struct Host {
    static void* load(const char* file) { return ::dlopen(file, RTLD_NOW | RTLD_LOCAL); }
    static void* entry(void* library, const char* name) { return ::dlsym(library, name); }
    static bool unload(void* library) { return ::dlclose(library) == 0; }
    static bool frameworkLoaded()
    {
        void* handle = ::dlopen(TEV_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
        return handle != nullptr && ::dlclose(handle) == 0;
    }
    // A sanitizer's allocator takes glibc's place: no count there (0).
    static std::size_t heapInUse() { return __lsan_enable != nullptr ? 0 : mallinfo2().uordblks; }
    static long handles() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }
    static void checkLeaks(bool on)
    {
        if (void (*toggle)() = on ? __lsan_enable : __lsan_disable)
            toggle();
    }
    static constexpr std::size_t heapSlack = 16 * 1024; // the loader's own bookkeeping
    static constexpr const char* unseen = "";           // no event
};
// One arena for all threads: one made late, when threads first contend, would count as growth.
[[maybe_unused]] const int oneArena = mallopt(M_ARENA_MAX, 1);
#endif

namespace {

using TevTest::EventLog;
using TevTest::UnloadScenario;

EventLog* watchLog = nullptr;
std::atomic<const void*> watched{nullptr};

// Sees the property store free the stored value (where the framework's frees reach the probe).
void noteIfWatched(void* pointer)
{
    if (pointer == watched.load()) {
        watched = nullptr;
        watchLog->add("property value freed");
    }
}

std::vector<std::string> eventsOf(const EventLog& log)
{
    return std::vector<std::string>(log.events, log.events + std::min(log.count.load(), EventLog::capacity));
}

// Loads the client (and with it the framework) and runs the scenario; then `threads`
// threads log through it and end, and the host unloads both while they are still ending.
void loadUseUnload(UnloadScenario& scenario, int threads = 0)
{
    const auto client = Host::load(TEV_UNLOAD_CLIENT);
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(Host::frameworkLoaded());
    auto run = reinterpret_cast<TevTest::RunUnloadScenario>(Host::entry(client, "runUnloadScenario"));
    auto logOnThisThread = reinterpret_cast<TevTest::LogOnThisThread>(Host::entry(client, "logOnThisThread"));
    ASSERT_TRUE(run != nullptr && logOnThisThread != nullptr);
    Host::checkLeaks(false);
    ASSERT_EQ(run(&scenario), 0);
    Host::checkLeaks(true);
    std::atomic<int> logged{0};
    std::vector<std::thread> ending;
    for (int t = 0; t < threads; ++t)
        ending.emplace_back([&logged, logOnThisThread, t] {
            logOnThisThread(), ++logged;
            std::this_thread::sleep_for(std::chrono::microseconds(25 * t)); // ends while the library goes
        });
    while (logged < threads)
        std::this_thread::yield();
    watchLog = scenario.events, watched = scenario.propertyBuffer;
    scenario.events->add("unloading");
    EXPECT_TRUE(Host::unload(client));
    watched = nullptr; // unseen on Windows, the value's block may come back as one of the host's
    for (std::thread& thread : ending)
        thread.join();
    ASSERT_FALSE(Host::frameworkLoaded()) << "the framework stayed in the process";
}

TEST(Unload, TeardownRunsInOrder)
{
    TevTest::watchDeletes(noteIfWatched);
    const std::vector<std::string> closed = {"release unload.a", "release unload.b"};
    const struct {
        const char* what;
        UnloadScenario scenario;
        std::vector<std::string> expected;
    } cases[] = {
        {"store, object left", {nullptr, true, true}, {"unloading", "property value freed", closed[0], closed[1]}},
        {"no store", {}, {"object destroyed", "unloading", closed[0], closed[1]}},
        {"channels kept", {nullptr, true, false, true}, {"object destroyed", "unloading", "property value freed"}},
        {"channels log when released",
         {nullptr, false, false, false, true},
         {"object destroyed", "unloading", closed[0], closed[1]}},
        {"channels load a backend library when released",
         {nullptr, false, false, false, false, true},
         {"object destroyed", "unloading", closed[0], "load refused", closed[1], "load refused"}},
    };
    for (const auto& c : cases) {
        EventLog log;
        UnloadScenario scenario = c.scenario;
        scenario.events = &log;
        loadUseUnload(scenario);
        std::vector<std::string> expected = c.expected; // but what this host cannot see
        expected.erase(std::remove(expected.begin(), expected.end(), Host::unseen), expected.end());
        EXPECT_EQ(eventsOf(log), expected) << c.what;
    }
    TevTest::watchDeletes(nullptr);
}

// In every cycle threads log and end while the framework is unloaded; this thread logs
// too and outlives it. Nothing of a cycle may stay behind.
TEST(Unload, RepeatedCyclesLeakNothingAndAlwaysUnload)
{
    constexpr int warmUp = 20, cycles = 300;
    std::size_t heapBefore = 0;
    long handlesBefore = 0;
    for (int cycle = 0; cycle < warmUp + cycles; ++cycle) {
        if (cycle == warmUp)
            heapBefore = Host::heapInUse(), handlesBefore = Host::handles();
        EventLog log;
        UnloadScenario scenario{&log, true, false, false, true}; // channels log when released
        loadUseUnload(scenario, 32);
        ASSERT_EQ(eventsOf(log).back(), "release unload.thread") << "cycle " << cycle;
        if (HasFatalFailure())
            return;
    }
    EXPECT_LE(Host::handles(), handlesBefore + 4) << "handles left open";
    EXPECT_LT(Host::heapInUse(), heapBefore + Host::heapSlack) << "grew by " << (Host::heapInUse() - heapBefore);
}

#if defined(_WIN32)

// The system stops a process's other threads before the libraries' teardown at its end:
// wherever they were, the logging mutex perhaps held. The teardown waits for none of it.
TEST(Unload, AProcessEndsWhileItsThreadsLog)
{
    const auto exitWhileThreadsLog = [] {
        EventLog log;
        UnloadScenario scenario{&log};
        const auto client = Host::load(TEV_UNLOAD_CLIENT);
        auto run = reinterpret_cast<TevTest::RunUnloadScenario>(Host::entry(client, "runUnloadScenario"));
        auto logOnThisThread = reinterpret_cast<TevTest::LogOnThisThread>(Host::entry(client, "logOnThisThread"));
        run(&scenario);
        for (int t = 0; t < 4; ++t)
            std::thread([logOnThisThread] {
                for (;;)
                    logOnThisThread();
            }).detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::exit(0);
    };
    for (int run = 0; run < 4; ++run)
        EXPECT_EXIT(exitWhileThreadsLog(), ::testing::ExitedWithCode(0), "") << "run " << run;
}

// Threads that log and end leave nothing behind: later threads free what they left.
TEST(Unload, ThreadsThatLoggedAndEndedLeaveNothing)
{
    const auto client = Host::load(TEV_UNLOAD_CLIENT);
    auto logOnThisThread = reinterpret_cast<TevTest::LogOnThisThread>(Host::entry(client, "logOnThisThread"));
    std::size_t heapBefore = 0;
    for (int round = 0; round < 100; ++round) {
        heapBefore = round == 20 ? Host::heapInUse() : heapBefore;
        std::vector<std::thread> threads(8);
        for (std::thread& thread : threads)
            thread = std::thread(logOnThisThread);
        for (std::thread& thread : threads)
            thread.join();
    }
    EXPECT_LT(Host::heapInUse(), heapBefore + Host::heapSlack) << "grew by " << (Host::heapInUse() - heapBefore);
    EXPECT_TRUE(Host::unload(client));
}

#else

// The framework's code pages, as the process's map lists them: first and past-the-end address.
std::vector<std::pair<std::uintptr_t, std::uintptr_t>> frameworkCode()
{
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> code;
    std::ifstream map("/proc/self/maps");
    const std::string library = std::filesystem::canonical(TEV_FRAMEWORK_LIBRARY).string();
    for (std::string line; std::getline(map, line);)
        if (line.find(" r-xp ") != std::string::npos && line.find(library) != std::string::npos)
            code.emplace_back(std::stoull(line, nullptr, 16),
                              std::stoull(line.substr(line.find('-') + 1), nullptr, 16));
    return code;
}

// Nothing of the framework runs when a thread that logged ends: code that did could still
// be running when the framework leaves the process. In the child of a fork, the forking
// thread goes on under another number, beside threads of its own: theirs must not take it
// for an ended thread of the parent's, whether the fork ran the atfork handlers or not.
TEST(Unload, ThreadsThatLoggedEndWithoutTheFrameworksCodeAndAForkedChildsThreadKeepsItsBuffers)
{
    const auto client = Host::load(TEV_UNLOAD_CLIENT);
    auto logOnThisThread = reinterpret_cast<TevTest::LogOnThisThread>(Host::entry(client, "logOnThisThread"));
    std::thread(logOnThisThread).join(); // the framework is made ready for threads
    std::atomic<bool> logged{false}, end{false};
    std::thread ending([&] {
        logOnThisThread(), logged = true;
        while (!end)
            std::this_thread::yield();
    });
    while (!logged)
        std::this_thread::yield();
    const auto code = frameworkCode();
    ASSERT_FALSE(code.empty());
    for (const auto& [first, last] : code) // none of it can run now
        ::mprotect(reinterpret_cast<void*>(first), last - first, PROT_READ);
    end = true;
    ending.join();
    for (const auto& [first, last] : code)
        ::mprotect(reinterpret_cast<void*>(first), last - first, PROT_READ | PROT_EXEC);

    logOnThisThread();
    pid_t (*const forks[])() = {&::fork, &::_Fork, [] { return static_cast<pid_t>(::syscall(SYS_fork)); }};
    for (pid_t (*forkHere)() : forks) {
        const auto logInChild = [logOnThisThread, forkHere] {
            int status = 0;
            if (const pid_t child = forkHere(); child != 0) // its status, or 128 and its signal
                std::exit(::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                                     : 128 + WTERMSIG(status));
            std::vector<std::thread> threads;
            for (int t = 0; t < 8; ++t)
                threads.emplace_back(logOnThisThread);
            for (std::thread& thread : threads)
                thread.join();
            for (int i = 0; i < 8; ++i)
                logOnThisThread();
            std::exit(0);
        };
        EXPECT_EXIT(logInChild(), ::testing::ExitedWithCode(0), "");
    }
    EXPECT_TRUE(Host::unload(client));
}

#endif

} // namespace
