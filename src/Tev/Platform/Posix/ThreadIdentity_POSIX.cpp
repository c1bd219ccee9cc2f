#include "Tev/Platform/ThreadIdentity.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace Tev::Platform {

ThreadId currentThreadId() noexcept
{
    return static_cast<ThreadId>(::gettid());
}

ProcessId currentProcessId() noexcept
{
    return static_cast<ProcessId>(::getpid());
}

bool threadHasEnded(ThreadId id) noexcept
{
    // Signal 0 only asks whether the thread is there, among this process's threads.
    return ::syscall(SYS_tgkill, ::getpid(), static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

void runAroundFork(void (*prepare)(), void (*parent)(), void (*child)())
{
    // Handlers of a library that is unloaded are unregistered with it.
    if (::pthread_atfork(prepare, parent, child) != 0)
        throw std::bad_alloc();
}

} // namespace Tev::Platform
