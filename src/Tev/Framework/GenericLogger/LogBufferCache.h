#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFERCACHE_H

#include "Tev/Framework/GenericLogger/LogBuffer.h"
#include "Tev/Platform/ThreadIdentity.h"
#include "Tev/Platform/ThreadPointer.h"

#include <cstddef>

namespace Tev::Framework::GenericLogger {

// Keeps, per thread, the few message buffers that the thread's LogStreams reuse.
// A stream takes a buffer and gives it back when it delivers, to the cache of the
// thread it is on then.
//
// Nothing of the library runs when a thread ends, so that no thread can be inside the
// library's code as it is unloaded. Instead, when a thread first gives a buffer back, it
// looks at eight other threads' buffers, in turn, and frees those whose thread the system
// says has ended; once as many threads have come since the last whole look as it left, it
// looks at all of them. A thread's first message so costs fewer than ten looks on average,
// and the buffers kept never belong to more than twice as many threads as the last whole
// look left. In the child of a fork(), its handler frees at once the buffers of the
// parent's other threads, which were not copied. A fork that runs no handler (_Fork(), the
// system call) leaves the child the buffers of all the parent's threads, among them those
// that the forking thread goes on using: they stay until the cache is destroyed. Every
// thread's buffers are freed when the cache is destroyed (the library is unloaded).
//
// take() and giveBack() may run on any threads at once. One cache at a time.
class LogBufferCache {
public:
    // Throws std::bad_alloc.
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
    class Guard;

    // The calling thread's buffers, made and entered in the list on its first call.
    ThreadBuffers* threadBuffers() noexcept;
    // Looks at the next `count` threads' buffers (all of them at most) and frees those of
    // this process's ended threads. With the list guarded.
    void freeEndedThreads(Platform::ThreadId caller, Platform::ProcessId process, std::size_t count) noexcept;
    void unlink(ThreadBuffers* buffers) noexcept;

    static void beforeFork() noexcept;
    static void afterForkInParent() noexcept;
    static void afterForkInChild() noexcept;

    const StreamDefaults streamDefaults_;
    // The calling thread's buffers, also in the list below.
    Platform::ThreadPointer current_;
    // Every thread's buffers, the newest first. Guarded (see the source).
    ThreadBuffers* threads_ = nullptr;
    std::size_t threadCount_ = 0;
    // The next buffers to look at; null: the list's first.
    ThreadBuffers* nextLooked_ = nullptr;
    // Threads entered since the last whole look, and how many that look left.
    std::size_t addedSinceWholeLook_ = 0;
    std::size_t leftByWholeLook_ = 0;
};

} // namespace Tev::Framework::GenericLogger

#endif
