#include "Tev/Framework/RandomSource.h"

#include "Tev/Platform/Clock.h"

#include <boost/thread/lock_guard.hpp>

namespace Tev::Framework {

// Only the milliseconds within the second; the whole seconds are not used.
RandomSource::RandomSource() : generator_(Platform::currentMillisecond())
{}

unsigned short RandomSource::next()
{
    std::uint32_t drawn = 0;
    std::uint32_t offset = 0;
    {
        boost::lock_guard<boost::mutex> hold(lock_);
        drawn = static_cast<std::uint32_t>(generator_.next());
        offset = calls_++;
    }
    // Unsigned, so the sum wraps instead of overflowing; 2^32 is a multiple of 65536.
    return static_cast<unsigned short>((drawn + offset) & 0xFFFFu);
}

} // namespace Tev::Framework
