#include "Tev/Platform/ThreadLocalSlot.h"

// A TLS index of the system's, whose cleanups run from this DLL's thread-detach
// notification. The loader serialises that with the DLL's loading and unloading, so a
// thread's end never races a slot's creation or deletion, and no callback outlives the
// DLL. (A winpthreads key is no good here: deleting one while threads end can deadlock,
// and the compiler's thread_local is emulated and does not survive a reload.)
#include <windows.h>

#include <new>
#include <stdexcept>

namespace Tev::Platform {

namespace {

// The slots with a cleanup. Slots are made and destroyed by the library's static objects,
// while the DLL loads and unloads: under the loader's lock, as the notifications run.
struct Cleaned {
    DWORD index;
    ThreadLocalSlot::Cleanup cleanup;
};
constexpr int mostCleaned = 4;
Cleaned cleaned[mostCleaned];
int cleanedCount = 0;

} // namespace

ThreadLocalSlot::ThreadLocalSlot(Cleanup cleanup)
{
    const DWORD index = ::TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES || (cleanup != nullptr && cleanedCount == mostCleaned)) {
        if (index != TLS_OUT_OF_INDEXES)
            ::TlsFree(index);
        throw std::runtime_error("no thread-local slot left");
    }
    if (cleanup != nullptr)
        cleaned[cleanedCount++] = Cleaned{index, cleanup};
    key_ = index;
}

ThreadLocalSlot::~ThreadLocalSlot()
{
    for (int i = 0; i < cleanedCount; ++i)
        if (cleaned[i].index == key_)
            cleaned[i] = cleaned[--cleanedCount];
    // Every thread's value goes with the index.
    ::TlsFree(static_cast<DWORD>(key_));
}

void* ThreadLocalSlot::get() const noexcept
{
    return ::TlsGetValue(static_cast<DWORD>(key_));
}

void ThreadLocalSlot::set(void* value)
{
    if (!::TlsSetValue(static_cast<DWORD>(key_), value))
        throw std::bad_alloc();
}

} // namespace Tev::Platform

// Runs the cleanups of the ending thread's values.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    using namespace Tev::Platform;
    if (reason == DLL_THREAD_DETACH)
        for (int i = 0; i < cleanedCount; ++i)
            if (void* value = ::TlsGetValue(cleaned[i].index)) {
                ::TlsSetValue(cleaned[i].index, nullptr);
                cleaned[i].cleanup(value);
            }
    return TRUE;
}
