#include "Tev/Platform/ThreadIdentity.h"

#include <windows.h>

namespace Tev::Platform {

ThreadId currentThreadId() noexcept
{
    return ::GetCurrentThreadId();
}

ProcessId currentProcessId() noexcept
{
    return ::GetCurrentProcessId();
}

bool threadHasEnded(ThreadId id) noexcept
{
    const HANDLE thread = ::OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (thread == nullptr) // no such thread; or one we may not see, perhaps of another process
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended =
        ::GetProcessIdOfThread(thread) != ::GetCurrentProcessId() || ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return ended;
}

void runAroundFork(void (*)(), void (*)(), void (*)())
{}

} // namespace Tev::Platform
