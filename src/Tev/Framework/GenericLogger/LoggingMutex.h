#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H

#include "Tev/Platform/LightMutex.h"
#include "Tev/Platform/Processor.h"
#include "Tev/Platform/ThreadCount.h"

#include <atomic>

namespace Tev::Framework::GenericLogger {

// The logging mutex: one lock for the whole logging subsystem, which the thread that
// holds it may take again. It is a plain mutex plus a count of how deep the current
// thread holds it: a recursive pthread mutex reads its owner before every acquisition,
// and that extra trip of its cache line between cores makes two threads that log at
// once markedly slower.
//
// Throws what Platform::LightMutex throws (nothing on Linux).
class LoggingMutex {
public:
    void lock()
    {
        const unsigned depth = depth_.get();
        if (depth != 0) {
            depth_.set(depth + 1);
            return;
        }
        if (!spinToTake())
            mutex_.lock();
        try {
            depth_.set(1);
        } catch (...) {
            mutex_.unlock();
            throw;
        }
    }

    void unlock() noexcept
    {
        const unsigned depth = depth_.get() - 1;
        // Lowering a count that is already stored needs no memory.
        try {
            depth_.set(depth);
        } catch (...) {}
        if (depth == 0)
            mutex_.unlock();
    }

    // Whether no thread holds the mutex, told without waiting: for when no other thread
    // runs. False too if the mutex cannot be tried.
    bool heldByNobody() noexcept
    {
        try {
            if (!mutex_.try_lock())
                return false;
        } catch (...) {
            return false;
        }
        mutex_.unlock();
        return true;
    }

    // Whether the calling thread holds the mutex.
    bool heldByThisThread() const noexcept { return depth_.get() != 0; }

private:
    static constexpr int spinLimit = 100;
    static constexpr int tryingLooks = 8;

    // Logging holds the mutex briefly: a thread that finds it taken watches it for a
    // moment before it sleeps in the mutex. Sleeping and being woken cost far more than
    // that wait; and a thread that lost one race and slept at once would also make the
    // holder's next unlocks call the kernel to wake it.
    // Its first looks try to take the mutex: a look that only reads leaves the mutex's
    // line shared, and taking it after the holder let go then costs one more trip of the
    // line between the cores: on two threads that log at once, about a quarter of a
    // message's price. Later looks only read and try when the mutex looks free, so that
    // many waiters do not keep pulling the line away from the holder.
    // Whether it took the mutex.
    bool spinToTake()
    {
        for (int i = 0; i < spinLimit; ++i) {
            if ((i < tryingLooks || !mutex_.looksHeld()) && mutex_.try_lock())
                return true;
            Platform::cpuRelax();
        }
        return false;
    }

    Platform::LightMutex mutex_;
    // How deep the calling thread holds the mutex.
    Platform::ThreadCount depth_;
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
