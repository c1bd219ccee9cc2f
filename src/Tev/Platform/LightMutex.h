#ifndef TEV_PLATFORM_LIGHTMUTEX_H
#define TEV_PLATFORM_LIGHTMUTEX_H

#if defined(__linux__)
#  include <atomic>
#else
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

// Elsewhere, Boost's mutex. Throws boost::thread_resource_error when it cannot be
// created, and boost::lock_error when it cannot be taken.
class LightMutex {
public:
    void lock() { mutex_.lock(); }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() noexcept { mutex_.unlock(); }

private:
    boost::mutex mutex_;
};

#endif

} // namespace Tev::Platform

#endif
