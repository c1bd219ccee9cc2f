#ifndef TEV_PLATFORM_LIGHTMUTEX_H
#define TEV_PLATFORM_LIGHTMUTEX_H

#include <atomic>

#if !defined(__linux__)
#  include <boost/thread/mutex.hpp>
#endif

namespace Tev::Platform {

#if defined(__linux__)

// A plain, non-recursive mutex in one word: 0 free, 1 held, 2 held with sleepers. Taking
// and giving it back are one atomic instruction each while nobody waits; a waiter
// sleeps in the kernel (a futex). Throws nothing.
class LightMutex {
public:
    void lock() noexcept
    {
        int expected = 0;
        if (!word_.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed))
            lockContended(expected);
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
        if (word_.exchange(0, std::memory_order_release) == 2)
            wakeOne();
    }

private:
    void lockContended(int seen) noexcept;
    void wakeOne() noexcept;

    std::atomic<int> word_{0};
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
