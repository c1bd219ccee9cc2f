#ifndef TEV_PLATFORM_RUNTIMERANDOM_H
#define TEV_PLATFORM_RUNTIMERANDOM_H

#if defined(_WIN32)
#  include "Tev/Platform/ThreadLocalSlot.h"
#  include <cstdint>
#endif

namespace Tev::Platform {

// The C runtime's own srand/rand as one sequence for the whole process. glibc keeps one
// generator per process. The Windows runtime keeps one per thread, so there each thread's
// generator is first seeded like the loading thread's, and before every draw it is moved
// on past the values that other threads drew: the draws of all threads together still
// read the one sequence. (A client's own srand or rand call moves only its thread there.)
//
// next() is not thread-safe: the caller serialises the calls.
class RuntimeRandom {
public:
    // Seeds the calling thread's generator (the process's, where there is one).
    // Throws std::runtime_error where a per-thread slot is needed and none is left.
    explicit RuntimeRandom(unsigned seed);
    ~RuntimeRandom();

    RuntimeRandom(const RuntimeRandom&) = delete;
    RuntimeRandom& operator=(const RuntimeRandom&) = delete;

    // The sequence's next value, 0 to RAND_MAX. Throws std::bad_alloc where the
    // position of a thread cannot be stored.
    int next();

private:
#if defined(_WIN32)
    unsigned seed_;
    // Values drawn so far, by all threads.
    std::uint64_t drawn_ = 0;
    // Per thread: 1 + how many values of the sequence its generator has passed; null
    // for a thread that has not drawn.
    ThreadLocalSlot position_;
#endif
};

} // namespace Tev::Platform

#endif
