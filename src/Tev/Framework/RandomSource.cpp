#include "Tev/Framework/RandomSource.h"

#include "Tev/Platform/Clock.h"

#include <boost/thread/lock_guard.hpp>

#include <cstdlib>

namespace Tev::Framework {

RandomSource::RandomSource()
{
    // Only the milliseconds within the second; the whole seconds are not used.
    std::srand(Platform::currentMillisecond());
}

unsigned short RandomSource::next()
{
    std::uint32_t drawn = 0;
    std::uint32_t offset = 0;
    {
        boost::lock_guard<boost::mutex> hold(lock_);
        drawn = static_cast<std::uint32_t>(std::rand());
        offset = calls_++;
    }
    // Unsigned, so the sum wraps instead of overflowing; 2^32 is a multiple of 65536.
    return static_cast<unsigned short>((drawn + offset) & 0xFFFFu);
}

} // namespace Tev::Framework
