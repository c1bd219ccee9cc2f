// Loads the framework into this process with dlopen (through a client library that
// links it), uses it, unloads it, and checks what its teardown did. This program does
// not link the framework, so that the framework really leaves the process.

#include "UnloadScenario.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Leak checkers would rightly report what the framework is meant to leave behind at
// unload (still-registered objects, loggers kept by unloadLoggingChannels(false)).
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

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

// The framework's memory comes and goes through these too, which lets the test see
// when the property store frees a value. Every form is replaced, so that none of them
// meets a pointer from another allocator.
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

bool frameworkLoaded()
{
    void* handle = ::dlopen(TEV_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    ::dlclose(handle);
    return true;
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
    void* client = ::dlopen(TEV_UNLOAD_CLIENT, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(client, nullptr) << ::dlerror();
    ASSERT_TRUE(frameworkLoaded());
    auto run = reinterpret_cast<TevTest::RunUnloadScenario>(::dlsym(client, "runUnloadScenario"));
    auto logOnThisThread = reinterpret_cast<TevTest::LogOnThisThread>(::dlsym(client, "logOnThisThread"));
    ASSERT_TRUE(run != nullptr && logOnThisThread != nullptr);
    if (__lsan_disable != nullptr)
        __lsan_disable();
    ASSERT_EQ(run(&scenario), 0);
    if (__lsan_enable != nullptr)
        __lsan_enable();
    if (worker != nullptr)
        worker->run(logOnThisThread);
    watchLog = scenario.events;
    watched = scenario.propertyBuffer;
    scenario.events->add("unloading");
    ASSERT_EQ(::dlclose(client), 0);
    EXPECT_FALSE(frameworkLoaded()) << "the framework stayed in the process";
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
        EXPECT_EQ(eventsOf(log), c.expected) << c.what;
    }
}

TEST(Unload, RepeatedCyclesLeakNothingAndAlwaysUnload)
{
    constexpr int warmUp = 5;
    constexpr int cycles = 200;
    Worker worker; // logs in every cycle and lives on: its buffers must go with the library
    std::size_t heapAfterWarmUp = 0;
    for (int cycle = 0; cycle < warmUp + cycles; ++cycle) {
        if (cycle == warmUp)
            heapAfterWarmUp = mallinfo2().uordblks;
        EventLog log;
        UnloadScenario scenario;
        scenario.events = &log;
        scenario.setProperty = true;
        scenario.logFromRelease = true;
        loadUseUnload(scenario, &worker);
        ASSERT_EQ(eventsOf(log).back(), "release unload.thread") << "cycle " << cycle;
        if (HasFatalFailure())
            return;
    }
    const std::size_t heapAfter = mallinfo2().uordblks;
    // Nothing of a cycle may stay behind; a little slack for the loader's own bookkeeping.
    EXPECT_LT(heapAfter, heapAfterWarmUp + 16 * 1024) << "grew by " << (heapAfter - heapAfterWarmUp) << " bytes";
}

} // namespace
