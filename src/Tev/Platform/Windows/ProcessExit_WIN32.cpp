#include "Tev/Platform/ProcessExit.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<bool> endingWithThreadsStopped{false};
} // namespace

namespace Tev::Platform {

bool processEndingWithThreadsStopped() noexcept
{
    return endingWithThreadsStopped.load(std::memory_order_relaxed);
}

} // namespace Tev::Platform

// Runs before the runtime destroys the library's static objects. A detach with a reserved
// argument is the process's end, by which the system has stopped every other thread.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        endingWithThreadsStopped.store(true, std::memory_order_relaxed);
    return TRUE;
}
