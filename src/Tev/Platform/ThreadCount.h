#ifndef TEV_PLATFORM_THREADCOUNT_H
#define TEV_PLATFORM_THREADCOUNT_H

#if defined(_WIN32)
#  include "Tev/Platform/ThreadLocalSlot.h"
#  include <cstdint>
#endif

namespace Tev::Platform {

#if defined(_WIN32)

// A count per thread, 0 in every thread at first. On Windows it lives in a slot of its
// own: the compiler's thread_local is emulated there and does not survive unloading.
class ThreadCount {
public:
    ThreadCount() = default;
    unsigned get() const noexcept { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(slot_.get())); }
    // Throws std::bad_alloc when the system cannot store the value.
    void set(unsigned value) { slot_.set(reinterpret_cast<void*>(static_cast<std::uintptr_t>(value))); }

private:
    ThreadLocalSlot slot_;
};

#else

namespace detail {
// Constant-initialised and defined here, so that reaching it is one instruction with no
// initialisation call; initial-exec, and trivially destructible, so that it does not
// keep the library from being unloaded.
inline thread_local unsigned threadCount __attribute__((tls_model("initial-exec"))) = 0;
} // namespace detail

// A count per thread, 0 in every thread at first. All objects of the class share one
// count per thread: the process has one user of it, the logging mutex.
class ThreadCount {
public:
    unsigned get() const noexcept { return detail::threadCount; }
    void set(unsigned value) noexcept { detail::threadCount = value; }
};

#endif

} // namespace Tev::Platform

#endif
