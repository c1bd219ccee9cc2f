#ifndef TEV_PLATFORM_THREADIDENTITY_H
#define TEV_PLATFORM_THREADIDENTITY_H

#include <cstdint>

namespace Tev::Platform {

// The system's number of a thread: no two living threads of the process share one, but
// the number of an ended thread may be given to a new one.
using ThreadId = std::uint64_t;

// The calling thread's number.
ThreadId currentThreadId() noexcept;

// Whether the thread numbered `id` has ended: never true while it runs; false too for an
// ended thread whose number a living thread of the process has been given since.
bool threadHasEnded(ThreadId id) noexcept;

// Has the three functions run around every fork() of the process, as pthread_atfork does:
// `prepare` in the forking thread before, `parent` in it after, and `child` in the new
// process, on its one thread (whose number differs from the forking thread's). They stay
// registered until the library leaves the process. Nothing on Windows, which has no fork.
// Throws std::bad_alloc.
void runAroundFork(void (*prepare)(), void (*parent)(), void (*child)());

} // namespace Tev::Platform

#endif
