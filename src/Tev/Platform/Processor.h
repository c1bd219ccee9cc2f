#ifndef TEV_PLATFORM_PROCESSOR_H
#define TEV_PLATFORM_PROCESSOR_H

// Hints to the processor; they change no result, only how fast it comes.

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

// Asks the processor to fetch the memory at `address` into its caches ahead of use.
inline void prefetch(const void* address) noexcept
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// Whether the processor has prefetchw; set as the library loads.
extern const bool canPrefetchForWrite;
#endif

// Asks the processor to fetch the memory at `address` into its caches, to be written:
// taken from the other cores' caches, so that the write that follows need not wait.
inline void prefetchForWrite(const void* address) noexcept
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (canPrefetchForWrite)
        __asm__ __volatile__("prefetchw %0" : : "m"(*static_cast<const char*>(address)));
#elif defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}

} // namespace Tev::Platform

#endif
