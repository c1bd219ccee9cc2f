#include "Tev/Platform/ThreadLocalSlot.h"

// A POSIX thread key. Not the compiler's thread_local: a value with a destructor would
// keep the library loaded while any thread that used it lives. The key's destructor runs
// at the exit of every thread, and a deleted key leaves no callback behind into an
// unloaded library.
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
