#ifndef TEV_PLATFORM_PROCESSEXIT_H
#define TEV_PLATFORM_PROCESSEXIT_H

namespace Tev::Platform {

// Whether the library is being unloaded because the process ends, its other threads
// already stopped wherever they were, perhaps holding a lock of the library's (Windows'
// ExitProcess). Its teardown must then wait for nothing another thread may hold.
#if defined(_WIN32)
bool processEndingWithThreadsStopped() noexcept;
#else
// exit() leaves the other threads running.
inline bool processEndingWithThreadsStopped() noexcept
{
    return false;
}
#endif

} // namespace Tev::Platform

#endif
