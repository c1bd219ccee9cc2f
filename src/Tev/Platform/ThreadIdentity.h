#ifndef TEV_PLATFORM_THREADIDENTITY_H
#define TEV_PLATFORM_THREADIDENTITY_H

#include <atomic>
#include <cstdint>

#if defined(__SANITIZE_THREAD__)
#  define TEV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#  if __has_feature(thread_sanitizer)
#    define TEV_THREAD_SANITIZER 1
#  endif
#endif
#if defined(TEV_THREAD_SANITIZER)
#  include <sanitizer/tsan_interface.h>
#endif

namespace Tev::Platform {

// The system's number of a thread: no two living threads of the process share one, but
// the number of an ended thread may be given to a new one.
using ThreadId = std::uint64_t;

// The calling thread's number.
ThreadId currentThreadId() noexcept;

// The system's number of a process. A child of fork() has a number of its own, whatever
// fork it was: the C library's, which runs the atfork handlers, or one that runs none.
using ProcessId = std::uint64_t;

// The calling process's number, asked of the system at every call.
ProcessId currentProcessId() noexcept;

// Whether the thread numbered `id` has ended: never true while it runs; false too for an
// ended thread whose number a living thread of the process has been given since.
bool threadHasEnded(ThreadId id) noexcept;

// What a thread wrote to `object` before its last call of writtenBeforeEnd(object) is
// seen by a thread that learnt from threadHasEnded() that it ended and then calls
// seeWrittenBeforeEnd(object). The system orders a thread's end after its writes; the pair
// tells the thread sanitizer so, and writtenBeforeEnd costs nothing in other builds.
inline void writtenBeforeEnd([[maybe_unused]] const void* object) noexcept
{
#if defined(TEV_THREAD_SANITIZER)
    __tsan_release(const_cast<void*>(object));
#endif
}

inline void seeWrittenBeforeEnd([[maybe_unused]] const void* object) noexcept
{
    std::atomic_thread_fence(std::memory_order_acquire);
#if defined(TEV_THREAD_SANITIZER)
    __tsan_acquire(const_cast<void*>(object));
#endif
}

// Has the three functions run around every fork() of the process, as pthread_atfork does:
// `prepare` in the forking thread before, `parent` in it after, and `child` in the new
// process, on its one thread (whose number differs from the forking thread's). They stay
// registered until the library leaves the process. Nothing on Windows, which has no fork.
// Throws std::bad_alloc.
void runAroundFork(void (*prepare)(), void (*parent)(), void (*child)());

} // namespace Tev::Platform

#endif
