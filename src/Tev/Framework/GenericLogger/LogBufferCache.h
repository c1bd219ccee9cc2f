#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H

#include "Tev/Platform/ThreadLocalSlot.h"
#include "Tev/Platform/ThreadPointer.h"

#include <optional>

namespace Tev::Framework::GenericLogger {

struct LogBuffer;

// Keeps, per thread, the few message buffers that the thread's LogStreams reuse.
// A stream takes a buffer and gives it back when it delivers, to the cache of the
// thread it is on then. A thread's buffers are freed when the thread ends, and every
// thread's when the cache is destroyed (the library is unloaded); a thread that ends
// while that happens finds its buffers gone, and the destruction waits until it has
// stopped looking.
//
// take() and giveBack() may run on any threads at once. One cache at a time.
class LogBufferCache {
public:
    LogBufferCache();
    ~LogBufferCache();

    LogBufferCache(const LogBufferCache&) = delete;
    LogBufferCache& operator=(const LogBufferCache&) = delete;

    // An empty buffer, ready for a new message. Throws std::bad_alloc.
    LogBuffer* take();
    // Keeps the buffer for reuse on this thread, or frees it.
    void giveBack(LogBuffer* buffer) noexcept;

private:
    struct ThreadBuffers;

    // Runs when a thread that cached buffers ends.
    static void threadEnded(void* buffers);
    ThreadBuffers* threadBuffers() noexcept;

    // Holds each thread's buffers, and frees them when the thread ends.
    std::optional<Platform::ThreadLocalSlot> slot_;
    // The same pointers, for the calling thread, without a call into the system.
    Platform::ThreadPointer fast_;
    // Every thread's buffers, so that unloading frees those of threads that live on.
    ThreadBuffers* threads_ = nullptr;
};

} // namespace Tev::Framework::GenericLogger

#endif
