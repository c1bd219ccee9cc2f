#ifndef TEV_PLATFORM_THREADPOINTER_H
#define TEV_PLATFORM_THREADPOINTER_H

#if defined(_WIN32)
#  include "Tev/Platform/ThreadLocalSlot.h"
#endif

namespace Tev::Platform {

#if defined(_WIN32)

// A pointer per thread, null in every thread at first. On Windows it lives in a slot of
// its own, as ThreadCount does.
class ThreadPointer {
public:
    ThreadPointer() = default;
    void* get() const noexcept { return slot_.get(); }
    // Throws std::bad_alloc when the system cannot store the value.
    void set(void* value) { slot_.set(value); }

private:
    ThreadLocalSlot slot_;
};

#else

namespace detail {
// Constant-initialised and defined here, so that reading it is one instruction with no
// initialisation check; initial-exec, and trivially destructible (see ThreadCount).
inline thread_local void* threadPointer __attribute__((tls_model("initial-exec"))) = nullptr;
} // namespace detail

// A pointer per thread, null in every thread at first. All objects of the class share
// one pointer per thread: the process has one user of it, the message buffer cache.
class ThreadPointer {
public:
    void* get() const noexcept { return detail::threadPointer; }
    void set(void* value) noexcept { detail::threadPointer = value; }
};

#endif

} // namespace Tev::Platform

#endif
