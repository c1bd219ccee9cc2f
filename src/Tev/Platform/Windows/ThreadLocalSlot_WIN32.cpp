#include "Tev/Platform/ThreadLocalSlot.h"

#include <windows.h>

#include <new>
#include <stdexcept>

namespace Tev::Platform {

ThreadLocalSlot::ThreadLocalSlot()
{
    const DWORD index = ::TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES)
        throw std::runtime_error("no thread-local slot left");
    key_ = index;
}

ThreadLocalSlot::~ThreadLocalSlot()
{
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
