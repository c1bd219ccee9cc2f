#ifndef TEV_PLATFORM_CPURELAX_H
#define TEV_PLATFORM_CPURELAX_H

namespace Tev::Platform {

// Tells the processor that the caller is spinning, waiting for another core.
inline void cpuRelax() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

} // namespace Tev::Platform

#endif
