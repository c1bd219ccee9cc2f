#ifndef TEV_PLATFORM_RUNTIMERANDOM_H
#define TEV_PLATFORM_RUNTIMERANDOM_H

namespace Tev::Platform {

// The C runtime's own srand/rand as one sequence for the whole process. glibc keeps one
// generator per process. The Windows runtime keeps one per thread, so there the sequence's
// state is kept here, and each draw first sets the calling thread's generator to it: the
// draws of all threads together read the one sequence, at a constant cost. (A client's
// own srand or rand call moves only its own thread's generator there.)
//
// next() is not thread-safe: the caller serialises the calls.
class RuntimeRandom {
public:
    // Seeds the calling thread's generator (the process's, where there is one).
    explicit RuntimeRandom(unsigned seed);
    ~RuntimeRandom();

    RuntimeRandom(const RuntimeRandom&) = delete;
    RuntimeRandom& operator=(const RuntimeRandom&) = delete;

    // The sequence's next value, 0 to RAND_MAX.
    int next();

private:
#if defined(_WIN32)
    unsigned state_; // the runtime generator's state before the next draw
#endif
};

} // namespace Tev::Platform

#endif
