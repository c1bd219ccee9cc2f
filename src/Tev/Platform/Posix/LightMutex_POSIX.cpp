#include "Tev/Platform/LightMutex.h"

#if defined(__linux__)

#  include <linux/futex.h>
#  include <sys/syscall.h>
#  include <unistd.h>

namespace Tev::Platform {

namespace {

// The word as the kernel sees it: std::atomic<int> is an int in memory.
int* address(std::atomic<int>& word) noexcept
{
    static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex word is one int");
    return reinterpret_cast<int*>(&word);
}

} // namespace

void LightMutex::lockContended(int seen) noexcept
{
    // Marked as having sleepers before sleeping, so that the holder wakes one; taken
    // when the exchange finds it free.
    if (seen != 2)
        seen = word_.exchange(2, std::memory_order_acquire);
    while (seen != 0) {
        // Returns at once if the word is no longer 2; spurious returns just loop.
        ::syscall(SYS_futex, address(word_), FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
        seen = word_.exchange(2, std::memory_order_acquire);
    }
}

void LightMutex::wakeOne() noexcept
{
    ::syscall(SYS_futex, address(word_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

} // namespace Tev::Platform

#endif
