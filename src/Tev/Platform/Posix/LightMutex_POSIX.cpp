#include "Tev/Platform/LightMutex.h"

#if defined(__linux__)

#  include <linux/futex.h>
#  include <linux/membarrier.h>
#  include <sys/syscall.h>
#  include <unistd.h>

#  include <cerrno>
#  include <chrono>
#  include <ctime>

namespace Tev::Platform {

namespace {

// The word as the kernel sees it: std::atomic<int> is an int in memory.
int* address(std::atomic<int>& word) noexcept
{
    static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex word is one int");
    return reinterpret_cast<int*>(&word);
}

long membarrier(int command) noexcept
{
    return ::syscall(SYS_membarrier, command, 0, 0);
}

// Registers the process for barriers on all its running threads; whether it has them.
bool registerForBarriers() noexcept
{
    const int savedErrno = errno;
    const long commands = membarrier(MEMBARRIER_CMD_QUERY);
    const bool registered = commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
                            membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
    errno = savedErrno;
    return registered;
}

} // namespace

// Registered as the library loads, while the process usually has one thread: with more,
// registering waits for the kernel to see every processor. A fork's child inherits it.
const bool LightMutex::sleepersPassBarriers = registerForBarriers();

void LightMutex::lockContended() noexcept
{
    static constexpr timespec briefly{0, 1000 * 1000};
    const int savedErrno = errno; // std::mutex leaves it as it was too
    for (;;) {
        // Marked before it takes the mutex too: others may sleep, and its unlock wakes one.
        mayHaveSleepers_.store(1, std::memory_order_seq_cst);
        if (try_lock())
            break;
        // Refused (a filter of system calls), the holder might not see the mark: this
        // thread then sleeps a millisecond at most. Giving way instead would keep a holder
        // of a lower priority on its processor from ever running.
        const bool unordered = !orderBeforeSleep();
        // Marked before this look: if it sees the mutex held, the holder's unlock, which
        // frees the word and then reads the mark, clears the mark and wakes one. The sleep
        // ends at once if the mark was cleared meanwhile.
        if (word_.load(std::memory_order_seq_cst) != 0)
            ::syscall(SYS_futex, address(mayHaveSleepers_), FUTEX_WAIT_PRIVATE, 1, unordered ? &briefly : nullptr,
                      nullptr, 0);
    }
    errno = savedErrno;
}

bool LightMutex::orderBeforeSleep() noexcept
{
    // Where unlocks fence, the mark's store and the look are ordered as they are.
    const Order order = order_.load(std::memory_order_seq_cst);
    if (!sleepersPassBarriers || order == Order::byFences)
        return true;
    // A barrier interrupts every other running thread of the process for about a
    // microsecond: past 1,000 in a second, unlocks fence instead. They do from the moment
    // they see byFencesSoon; an unlock that read the order before then is done, or done
    // storing, once this barrier has passed: only then may sleepers rely on the fences.
    const long long now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    if (now - secondStart_.load(std::memory_order_relaxed) > 1'000'000'000) {
        secondStart_.store(now, std::memory_order_relaxed);
        barriersThisSecond_.store(0, std::memory_order_relaxed);
    }
    // Seen switching, any barrier that passes ends the switch: the switcher's may be refused.
    Order expected = Order::byBarriers;
    const bool switching = order == Order::byFencesSoon ||
                           (barriersThisSecond_.fetch_add(1, std::memory_order_relaxed) >= 1000 &&
                            order_.compare_exchange_strong(expected, Order::byFencesSoon, std::memory_order_seq_cst));
    if (membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0)
        return false;
    if (switching)
        order_.store(Order::byFences, std::memory_order_seq_cst);
    return true;
}

void LightMutex::wakeOne() noexcept
{
    if (mayHaveSleepers_.exchange(0, std::memory_order_relaxed) != 0)
        ::syscall(SYS_futex, address(mayHaveSleepers_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

} // namespace Tev::Platform

#endif
