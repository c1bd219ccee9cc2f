#include "Tev/Platform/ThreadLocalSlot.h"

// One source for both platforms: a POSIX thread key, which MinGW's runtime provides
// through winpthreads. Not the compiler's thread_local: that is emulated under MinGW
// and crashes once the DLL is reloaded. The key's destructor runs at the exit of every
// thread (on Windows those started with CreateThread too), and a deleted key leaves no
// callback behind into an unloaded library.
#include <pthread.h>

#include <new>
#include <stdexcept>

namespace Tev::Platform {

static_assert(sizeof(pthread_key_t) <= sizeof(unsigned long), "pthread_key_t does not fit");

ThreadLocalSlot::ThreadLocalSlot(Cleanup cleanup)
{
    pthread_key_t key;
    if (::pthread_key_create(&key, cleanup) != 0)
        throw std::runtime_error("no thread-local slot left");
    key_ = key;
}

ThreadLocalSlot::~ThreadLocalSlot()
{
    ::pthread_key_delete(static_cast<pthread_key_t>(key_));
}

void* ThreadLocalSlot::get() const noexcept
{
    return ::pthread_getspecific(static_cast<pthread_key_t>(key_));
}

void ThreadLocalSlot::set(void* value)
{
    if (::pthread_setspecific(static_cast<pthread_key_t>(key_), value) != 0)
        throw std::bad_alloc();
}

} // namespace Tev::Platform
