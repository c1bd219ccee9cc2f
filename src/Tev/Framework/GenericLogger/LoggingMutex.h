#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGINGMUTEX_H

#include "Tev/Platform/LightMutex.h"
#include "Tev/Platform/Processor.h"
#include "Tev/Platform/ThreadCount.h"

#include <algorithm>
#include <atomic>
#include <chrono>

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
        if (!mutex_.try_lock() && !watchToTake())
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
    using Clock = std::chrono::steady_clock;

    // A watch ends within these bounds, whatever the last handovers cost. The shortest
    // lets a handover happen on any machine: the holder's hold and two or three trips of a
    // cache line between the cores, each some 50 ns where they share a cache and up to
    // some 250 ns between far cores or sockets (50 to 230 ns on the bench's virtual
    // machine, as its cores moved). The longest stays below what sleeping and being woken
    // cost at the least, two system calls and a switch of threads, some microseconds (50 us
    // on that machine): a watch that fails costs at most about as much again as sleeping
    // at once.
    static constexpr Clock::duration shortestWatch = std::chrono::microseconds(1);
    static constexpr Clock::duration longestWatch = std::chrono::microseconds(4);

    // Logging holds the mutex briefly: a thread that finds it taken watches it before it
    // sleeps in it, since sleeping and waking cost system calls on both sides.
    // It reads the mutex's word, and tries to take it only when it looks free: a try while
    // it is held would pull the word's line from the holder, which must fetch it back to
    // let go, at the price of a trip between the cores, dearest where they are farthest.
    // The watch lasts four times what the recent watches that took the mutex lasted (a
    // running average, each weighing an eighth; four, so that it outlasts the slow tail of
    // handovers and not only their mean: a waiter that sleeps makes that call, and the
    // holder's next, cost microseconds), timed by the mutex itself: that is what a handover
    // costs on this machine under this load, where a count of pauses would last ten times
    // longer on one processor than on another. Past it, the holder is in a long hold or not
    // running, and sleeping costs less than watching on.
    // Whether it took the mutex.
    bool watchToTake()
    {
        const Clock::time_point start = Clock::now();
        const Clock::duration limit = std::min(
            std::max(4 * Clock::duration(handover_.load(std::memory_order_relaxed)), shortestWatch), longestWatch);
        // Timed by the last look before the take: no clock is read with the mutex held.
        Clock::time_point now = start;
        for (;;) {
            Platform::cpuRelax();
            if (!mutex_.looksHeld() && mutex_.try_lock()) {
                // Written with the mutex held: by one thread at a time, in the word's line,
                // which this thread has.
                const Clock::rep last = handover_.load(std::memory_order_relaxed);
                handover_.store(last + ((now - start).count() - last) / 8, std::memory_order_relaxed);
                return true;
            }
            now = Clock::now();
            if (now - start > limit)
                return false;
        }
    }

    // What the last handovers cost (see watchToTake()), in Clock's ticks. Before the mutex:
    // in its word's line, not beside its mark, which every unlock reads.
    std::atomic<Clock::rep> handover_{0};
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
