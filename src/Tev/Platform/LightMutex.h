#ifndef TEV_PLATFORM_LIGHTMUTEX_H
#define TEV_PLATFORM_LIGHTMUTEX_H

#include <atomic>

#if !defined(__linux__)
#  include <boost/thread/mutex.hpp>
#endif

namespace Tev::Platform {

#if defined(__linux__)

// A plain, non-recursive mutex: a word, 0 free or 1 held, and a mark that threads may
// sleep in it. Taking it is one atomic instruction while nobody holds it; giving it back
// is a plain store and reads of the order and the mark, no atomic instruction: a thread
// that is about to sleep makes every other running thread of the process pass a memory
// barrier first (a system call), so that either it sees the word freed or the thread that
// frees it sees the mark and wakes it. Each such barrier interrupts those threads: once
// threads sleep in the mutex more than 1,000 times in a second, giving it back fences
// instead, for good, as it does where the system has no such barrier. A waiter sleeps in
// the kernel (a futex). Throws nothing.
//
// The mark and the order stand 64 bytes past the word, on another cache line, which the
// mutex writes only when threads sleep: a waiter that pulls the word's line to its core
// while the mutex is held does not make the holder fetch it back to read them as it gives
// the mutex up. Constant-initialised: in static storage it is whole before any initialiser.
class LightMutex {
public:
    void lock() noexcept
    {
        if (!try_lock())
            lockContended();
    }

    bool try_lock() noexcept
    {
        int expected = 0;
        return word_.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed);
    }

    // Whether some thread seems to hold it: a hint for a waiter, read without writing.
    bool looksHeld() const noexcept { return word_.load(std::memory_order_relaxed) != 0; }

    void unlock() noexcept
    {
        word_.store(0, std::memory_order_release);
        // The word freed before the order and the mark are read: ordered by the sleepers'
        // barrier, or here. Plain loads: a seq_cst load waits for the store on ARM (ldar
        // after stlr), as a fence would.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (!sleepersPassBarriers || order_.load(std::memory_order_relaxed) != Order::byBarriers)
            std::atomic_thread_fence(std::memory_order_seq_cst);
        if (mayHaveSleepers_.load(std::memory_order_relaxed) != 0)
            wakeOne();
    }

private:
    enum class Order : int { byBarriers, byFencesSoon, byFences };

    void lockContended() noexcept;
    // Orders the mark before the sleeper's last look at the word; false if it cannot.
    bool orderBeforeSleep() noexcept;
    void wakeOne() noexcept;

    // Whether the system makes a process's threads pass a barrier on request. Set as the
    // library loads; false until then, when giving back fences.
    static const bool sleepersPassBarriers;

    std::atomic<int> word_{0};
    [[maybe_unused]] char restOfWordLine_[64 - sizeof(std::atomic<int>)]{};
    // Set by a thread that may sleep, cleared by the thread that wakes one.
    std::atomic<int> mayHaveSleepers_{0};
    // What orders giving back: byFencesSoon from the first of the sleepers' barriers that
    // switches, byFences once it, or one begun after it, has passed.
    std::atomic<Order> order_{Order::byBarriers};
    // The sleepers' barriers in the second that began at secondStart_ (steady clock, ns).
    std::atomic<int> barriersThisSecond_{0};
    std::atomic<long long> secondStart_{0};
};

#else

// Elsewhere, Boost's mutex, with a hint beside it for waiters. Throws
// boost::thread_resource_error when it cannot be created, and boost::lock_error when it
// cannot be taken.
class LightMutex {
public:
    void lock()
    {
        mutex_.lock();
        held_.store(true, std::memory_order_relaxed);
    }

    bool try_lock()
    {
        if (!mutex_.try_lock())
            return false;
        held_.store(true, std::memory_order_relaxed);
        return true;
    }

    void unlock() noexcept
    {
        held_.store(false, std::memory_order_relaxed);
        mutex_.unlock();
    }

    bool looksHeld() const noexcept { return held_.load(std::memory_order_relaxed); }

private:
    boost::mutex mutex_;
    std::atomic<bool> held_{false};
};

#endif

} // namespace Tev::Platform

#endif
