// Loads the framework into this process (through a client library that links it), uses
// it, unloads it, and checks what its teardown did. This program does not link the
// framework, so that the framework really leaves the process.

#include "UnloadScenario.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
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
    static std::ptrdiff_t handles()
    {
        DWORD count = 0;
        GetProcessHandleCount(GetCurrentProcess(), &count);
        return count;
    }
    static bool heapUncounted() { return false; }
    static void checkLeaks(bool) {}
    static constexpr std::size_t heapSlack = 4096; // one block left per cycle would show
    // A replaced operator new does not reach a DLL: the framework frees the value unseen.
    static constexpr const char* unseen = "property value freed";
};
#else
#  include <dlfcn.h>

#  include <filesystem>

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
    static std::size_t heapInUse() { return mallinfo2().uordblks; }
    // A sanitizer's allocator takes glibc's place: no count here, and its own grows with every load.
    static bool heapUncounted() { return __lsan_enable != nullptr; }
    // Open file descriptors.
    static std::ptrdiff_t handles() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }
    static void checkLeaks(bool on)
    {
        if (void (*toggle)() = on ? __lsan_enable : __lsan_disable)
            toggle();
    }
    static constexpr std::size_t heapSlack = 16 * 1024; // the loader's own bookkeeping
    static constexpr const char* unseen = "";           // no event
};
#endif

namespace {

TevTest::EventLog* watchLog = nullptr;
std::atomic<const void*> watched{nullptr};

void noteIfWatched(void* pointer) noexcept
{
    if (pointer != nullptr && pointer == watched.load()) {
        watched = nullptr;
        watchLog->add("property value freed");
    }
}

} // namespace

// On Linux the framework's memory comes and goes through these too, which lets the
// test see when the property store frees a value. Every form is replaced, so that none
// of them meets a pointer from another allocator.
void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* pointer) noexcept
{
    noteIfWatched(pointer), std::free(pointer);
}
void operator delete[](void* pointer) noexcept
{
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept
{
    operator delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept
{
    std::free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept
{
    operator delete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept
{
    std::free(pointer);
}

namespace {

using TevTest::EventLog;
using TevTest::UnloadScenario;

std::vector<std::string> eventsOf(const EventLog& log)
{
    std::vector<std::string> result;
    for (std::size_t i = 0; i < log.count && i < EventLog::capacity; ++i)
        result.emplace_back(log.events[i]);
    return result;
}

// A thread that lives across loads of the framework and runs one task when asked.
class Worker {
public:
    // Runs `task` on the worker and waits for it.
    void run(void (*task)())
    {
        std::unique_lock<std::mutex> lock(mutex_);
        task_ = task;
        changed_.notify_all();
        changed_.wait(lock, [this] { return task_ == nullptr; });
    }
    ~Worker()
    {
        run(+[] { stopping = true; });
        thread_.join();
    }

private:
    static inline bool stopping = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    void (*task_)() = nullptr;
    std::thread thread_{[this] {
        for (std::unique_lock<std::mutex> lock(mutex_); !stopping;) {
            changed_.wait(lock, [this] { return task_ != nullptr; });
            std::exchange(task_, nullptr)();
            changed_.notify_all();
        }
    }};
};

// Loads the client (and with it the framework), runs the scenario, has `worker` log if
// given, unloads both.
void loadUseUnload(UnloadScenario& scenario, Worker* worker = nullptr)
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
    if (worker != nullptr)
        worker->run(logOnThisThread);
    watchLog = scenario.events;
    watched = scenario.propertyBuffer;
    scenario.events->add("unloading");
    EXPECT_TRUE(Host::unload(client));
    watched = nullptr; // unseen on Windows, the value's block may come back as one of the host's
    ASSERT_FALSE(Host::frameworkLoaded()) << "the framework stayed in the process";
}

TEST(Unload, TeardownRunsInOrder)
{
    const std::vector<std::string> closed = {"release unload.a", "release unload.b"};
    const struct {
        const char* what;
        UnloadScenario scenario;
        std::vector<std::string> expected;
    } cases[] = {
        {"store, object left",
         {nullptr, true, true, false, false, nullptr},
         {"unloading", "property value freed", closed[0], closed[1]}},
        {"no store",
         {nullptr, false, false, false, false, nullptr},
         {"object destroyed", "unloading", closed[0], closed[1]}},
        {"channels kept",
         {nullptr, true, false, true, false, nullptr},
         {"object destroyed", "unloading", "property value freed"}},
        {"channels log when released",
         {nullptr, false, false, false, true, nullptr},
         {"object destroyed", "unloading", closed[0], closed[1]}},
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
}

TEST(Unload, RepeatedCyclesLeakNothingAndAlwaysUnload)
{
    constexpr int warmUp = 20;
    constexpr int cycles = 200;
    Worker worker; // logs in every cycle and lives on: its buffers must go with the library
    std::size_t heapBefore = 0;
    std::ptrdiff_t handlesBefore = 0;
    for (int cycle = 0; cycle < warmUp + cycles; ++cycle) {
        if (cycle == warmUp)
            heapBefore = Host::heapInUse(), handlesBefore = Host::handles();
        EventLog log;
        UnloadScenario scenario{&log, true, false, false, true, nullptr}; // channels log when released
        loadUseUnload(scenario, &worker);
        ASSERT_EQ(eventsOf(log).back(), "release unload.thread") << "cycle " << cycle;
        if (HasFatalFailure())
            return;
    }
    const std::size_t heapAfter = Host::heapInUse();
    const std::ptrdiff_t handlesAfter = Host::handles();
    ASSERT_TRUE(heapBefore > 0 || Host::heapUncounted()) << "the heap in use reads 0";
    EXPECT_LE(handlesAfter, handlesBefore + 4) << handlesBefore << " -> " << handlesAfter;
    // Nothing of a cycle may stay behind.
    EXPECT_LT(heapAfter, heapBefore + Host::heapSlack) << "grew by " << (heapAfter - heapBefore) << " bytes";
}

} // namespace
