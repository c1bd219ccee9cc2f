#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H

#include "Tev/Platform/ThreadLocalSlot.h"

namespace Tev::Framework::GenericLogger {

struct LogBuffer;

// Keeps, per thread, the few message buffers that the thread's LogStreams reuse.
// A stream takes a buffer and gives it back when it delivers, to the cache of the
// thread it is on then. A thread's buffers are freed when the thread ends.
class LogBufferCache {
public:
    LogBufferCache();
    // Frees the calling thread's buffers; other threads' cached buffers are left.
    ~LogBufferCache();

    LogBufferCache(const LogBufferCache&) = delete;
    LogBufferCache& operator=(const LogBufferCache&) = delete;

    // An empty buffer, ready for a new message. Throws std::bad_alloc.
    LogBuffer* take();
    // Keeps the buffer for reuse on this thread, or frees it.
    void giveBack(LogBuffer* buffer) noexcept;

private:
    Platform::ThreadLocalSlot slot_;
};

} // namespace Tev::Framework::GenericLogger

#endif
