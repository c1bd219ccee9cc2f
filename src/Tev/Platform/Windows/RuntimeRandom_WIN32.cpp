#include "Tev/Platform/RuntimeRandom.h"

#include <cstdlib>

namespace Tev::Platform {

RuntimeRandom::RuntimeRandom(unsigned seed) : state_(seed)
{
    std::srand(seed);
}

RuntimeRandom::~RuntimeRandom() = default;

int RuntimeRandom::next()
{
    // The runtime's generator is its documented one: srand(s) makes s its state, and
    // rand() steps the state to s * 214013 + 2531011 and returns bits 16 to 30 of it.
    // The calling thread's generator is set to where the sequence stands, and draws.
    std::srand(state_);
    const int value = std::rand();
    state_ = state_ * 214013u + 2531011u;
    return value;
}

} // namespace Tev::Platform
