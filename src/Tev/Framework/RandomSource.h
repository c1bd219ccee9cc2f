#ifndef TEV_FRAMEWORK_RANDOMSOURCE_H
#define TEV_FRAMEWORK_RANDOMSOURCE_H

#include "Tev/Platform/RuntimeRandom.h"

#include <boost/thread/mutex.hpp>

#include <cstdint>

namespace Tev::Framework {

// The shared random sequence: the C runtime's srand/rand, seeded once when this is
// created at load, plus a count of the draws made. One sequence for the process even
// where the runtime keeps the generator per thread (see RuntimeRandom).
class RandomSource {
public:
    // Seeds the runtime's generator with the milliseconds of the real-time clock.
    RandomSource();

    RandomSource(const RandomSource&) = delete;
    RandomSource& operator=(const RandomSource&) = delete;

    // (the k-th rand() value + k) modulo 65536, k counting draws from 0.
    // Throws boost::lock_error if the lock fails.
    unsigned short next();

private:
    boost::mutex lock_;
    Platform::RuntimeRandom generator_; // guarded by lock_
    // Draws made so far, modulo 2^32. Guarded by lock_.
    std::uint32_t calls_ = 0;
};

} // namespace Tev::Framework

#endif
