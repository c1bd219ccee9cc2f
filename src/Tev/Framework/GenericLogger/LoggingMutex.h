#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H

#include "Tev/Platform/CpuRelax.h"

#include <boost/thread/mutex.hpp>

#include <atomic>

namespace Tev::Framework::GenericLogger {

// How deep the current thread holds the logging mutex. Trivially destructible, so it
// does not keep the library from being unloaded; initial-exec, so that reading it is
// one instruction rather than a call.
extern thread_local unsigned loggingMutexDepth __attribute__((tls_model("initial-exec")));

// The logging mutex: one lock for the whole logging subsystem, which the thread that
// holds it may take again. It is a plain mutex plus a count of how deep the current
// thread holds it: a recursive pthread mutex reads its owner before every acquisition,
// and that extra trip of its cache line between cores makes two threads that log at
// once markedly slower.
//
// There is one logging mutex per process, so one per-thread count serves.
// Throws boost::thread_resource_error when the mutex cannot be created, and
// boost::lock_error when it cannot be taken.
class LoggingMutex {
public:
    void lock()
    {
        if (loggingMutexDepth != 0) {
            ++loggingMutexDepth;
            return;
        }
        // Logging holds the mutex briefly: a thread that finds it taken watches it for a
        // moment, reading rather than trying, before it sleeps in the mutex. Sleeping
        // and being woken cost far more than that wait.
        for (int i = 0; i < spinLimit && held_.load(std::memory_order_relaxed); ++i)
            Platform::cpuRelax();
        mutex_.lock();
        held_.store(true, std::memory_order_relaxed);
        loggingMutexDepth = 1;
    }

    void unlock() noexcept
    {
        if (--loggingMutexDepth == 0) {
            held_.store(false, std::memory_order_relaxed);
            mutex_.unlock();
        }
    }

private:
    static constexpr int spinLimit = 100;

    boost::mutex mutex_;
    // A hint for waiters, next to the mutex on its cache line; the mutex decides.
    std::atomic<bool> held_{false};
};

// Holds the logging mutex for a scope.
class LoggingLock {
public:
    explicit LoggingLock(LoggingMutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~LoggingLock() { mutex_.unlock(); }

    LoggingLock(const LoggingLock&) = delete;
    LoggingLock& operator=(const LoggingLock&) = delete;

private:
    LoggingMutex& mutex_;
};

} // namespace Tev::Framework::GenericLogger

#endif
