#include "Tev/Platform/Processor.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#  include <cpuid.h>

namespace Tev::Platform {

namespace {

bool hasPrefetchW() noexcept
{
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    // Extended leaf 0x80000001, ECX bit 8: PREFETCHW.
    return __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) != 0 && (ecx & (1U << 8)) != 0;
}

} // namespace

// False until set: a prefetch skipped before is only a hint lost.
const bool canPrefetchForWrite = hasPrefetchW();

} // namespace Tev::Platform

#endif
