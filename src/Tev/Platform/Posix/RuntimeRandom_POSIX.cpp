#include "Tev/Platform/RuntimeRandom.h"

#include <cstdlib>

namespace Tev::Platform {

RuntimeRandom::RuntimeRandom(unsigned seed)
{
    std::srand(seed);
}

RuntimeRandom::~RuntimeRandom() = default;

int RuntimeRandom::next()
{
    return std::rand();
}

} // namespace Tev::Platform
