#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>

// The thread sanitizer's runtime owns operator new.
#if defined(__has_feature)
#  define TEV_PROBE_REPLACES_NEW !__has_feature(thread_sanitizer)
#else
#  define TEV_PROBE_REPLACES_NEW 1
#endif

namespace {
thread_local long allocationsBeforeFailure = -1;
std::atomic<long> live{0};
std::atomic<void (*)(void*)> deleteHook{nullptr};
} // namespace

namespace TevTest {

void failAllocation(long n) noexcept
{
    allocationsBeforeFailure = n;
}
long liveAllocations() noexcept
{
    return live.load();
}
void watchDeletes(void (*hook)(void*)) noexcept
{
    deleteHook = hook;
}

} // namespace TevTest

#if TEV_PROBE_REPLACES_NEW
// Every form is replaced, so that none of them meets a pointer from another allocator (a
// sanitizer's runtime brings its own of each).
void* operator new(std::size_t size)
{
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
        throw std::bad_alloc();
    ++live;
    return memory;
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept
{
    return operator new(size, nothrow);
}
void operator delete(void* memory) noexcept
{
    if (memory != nullptr) {
        if (void (*hook)(void*) = deleteHook.load())
            hook(memory);
        --live;
        std::free(memory);
    }
}
void operator delete[](void* memory) noexcept
{
    operator delete(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    operator delete(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    operator delete(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    operator delete(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    operator delete(memory);
}
#endif
