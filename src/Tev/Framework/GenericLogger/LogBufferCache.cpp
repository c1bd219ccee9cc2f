#include "Tev/Framework/GenericLogger/LogBufferCache.h"

#include "Tev/Framework/GenericLogger/LogBuffer.h"
#include "Tev/Platform/ProcessExit.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <utility>

namespace Tev::Framework::GenericLogger {

namespace {

constexpr std::size_t cachedBuffersPerThread = 4;
// A buffer that grew past this for one long message is freed rather than kept.
constexpr std::size_t largestKeptCapacity = 64 * 1024;
// How many other threads' buffers a thread looks at, in turn, when it makes its own:
// more than one, so that the buffers of ended threads cannot pile up.
constexpr std::size_t lookedAtPerThread = 8;

// Guards the list of all threads' buffers. Here rather than in the cache, so that a fork
// that runs as the cache is destroyed still finds it: the fork's handlers hold it from
// before the fork until after it.
std::atomic_flag listGuard = ATOMIC_FLAG_INIT;
// The cache, while there is one. Changed with the guard held.
LogBufferCache* liveCache = nullptr;

void lockList() noexcept
{
    while (listGuard.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

void unlockList() noexcept
{
    listGuard.clear(std::memory_order_release);
}

} // namespace

// One thread's free buffers, linked into the list of all threads'. Written by its thread
// at every message: on a cache line of its own, shared with no other thread's.
struct alignas(64) LogBufferCache::ThreadBuffers {
    ThreadBuffers(Platform::ThreadId owner, Platform::ProcessId process) noexcept : owner(owner), process(process) {}
    ~ThreadBuffers()
    {
        while (first != nullptr)
            delete std::exchange(first, first->nextFree);
    }
    ThreadBuffers(const ThreadBuffers&) = delete;
    ThreadBuffers& operator=(const ThreadBuffers&) = delete;

    Platform::ThreadId owner;
    // A thread of another process owns them: the parent's, after a fork that ran no handler.
    Platform::ProcessId process;
    LogBuffer* first = nullptr;
    std::size_t count = 0;
    ThreadBuffers* previous = nullptr;
    ThreadBuffers* next = nullptr;
};

class LogBufferCache::Guard {
public:
    Guard() noexcept { lockList(); }
    ~Guard() { unlockList(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

LogBufferCache::LogBufferCache()
{
    Platform::runAroundFork(&beforeFork, &afterForkInParent, &afterForkInChild);
    const Guard guard;
    liveCache = this;
}

LogBufferCache::~LogBufferCache()
{
    // At the process's end on Windows, a thread stopped in the middle of threadBuffers()
    // may hold the guard for ever; the memory goes with the process.
    if (Platform::processEndingWithThreadsStopped())
        return;
    const Guard guard;
    liveCache = nullptr;
    while (threads_ != nullptr)
        delete std::exchange(threads_, threads_->next);
}

void LogBufferCache::beforeFork() noexcept
{
    lockList();
}

void LogBufferCache::afterForkInParent() noexcept
{
    unlockList();
}

void LogBufferCache::afterForkInChild() noexcept
{
    // The forking thread goes on in the child under numbers of its own, with its buffers;
    // the other threads were not copied, and nothing uses theirs.
    if (LogBufferCache* cache = liveCache) {
        auto* own = static_cast<ThreadBuffers*>(cache->current_.get());
        for (ThreadBuffers* buffers = cache->threads_; buffers != nullptr;) {
            ThreadBuffers* const next = buffers->next;
            if (buffers != own) {
                cache->unlink(buffers);
                Platform::seeWrittenBeforeEnd(buffers);
                delete buffers;
            }
            buffers = next;
        }
        if (own != nullptr) {
            own->owner = Platform::currentThreadId();
            own->process = Platform::currentProcessId();
        }
        cache->addedSinceWholeLook_ = 0;
        cache->leftByWholeLook_ = cache->threadCount_;
    }
    unlockList();
}

void LogBufferCache::unlink(ThreadBuffers* buffers) noexcept
{
    (buffers->previous != nullptr ? buffers->previous->next : threads_) = buffers->next;
    if (buffers->next != nullptr)
        buffers->next->previous = buffers->previous;
    if (nextLooked_ == buffers)
        nextLooked_ = buffers->next;
    --threadCount_;
}

void LogBufferCache::freeEndedThreads(Platform::ThreadId caller, Platform::ProcessId process,
                                      std::size_t count) noexcept
{
    for (std::size_t looked = 0, listed = threadCount_; looked < std::min(listed, count); ++looked) {
        ThreadBuffers* buffers = nextLooked_ != nullptr ? nextLooked_ : threads_;
        nextLooked_ = buffers->next;
        // Another process's numbers mean nothing here, and the thread that forked may still
        // use its buffers under them. A number is one living thread's at a time: buffers
        // under the caller's number, who has none yet, were an ended thread's.
        if (buffers->process != process || (buffers->owner != caller && !Platform::threadHasEnded(buffers->owner)))
            continue;
        unlink(buffers);
        Platform::seeWrittenBeforeEnd(buffers);
        delete buffers;
    }
}

LogBufferCache::ThreadBuffers* LogBufferCache::threadBuffers() noexcept
{
    auto* buffers = static_cast<ThreadBuffers*>(current_.get());
    if (buffers != nullptr)
        return buffers;
    const Platform::ThreadId caller = Platform::currentThreadId();
    const Platform::ProcessId process = Platform::currentProcessId();
    buffers = new (std::nothrow) ThreadBuffers(caller, process);
    if (buffers == nullptr)
        return nullptr;
    try {
        current_.set(buffers);
    } catch (...) {
        delete buffers;
        return nullptr;
    }
    const Guard guard;
    // A whole look costs as many looks as there are threads, at most twice as many as
    // have come since the last: two looks a thread.
    const bool wholeLook = ++addedSinceWholeLook_ >= leftByWholeLook_;
    freeEndedThreads(caller, process, wholeLook ? threadCount_ : lookedAtPerThread);
    buffers->next = threads_;
    if (threads_ != nullptr)
        threads_->previous = buffers;
    threads_ = buffers;
    ++threadCount_;
    if (wholeLook) {
        addedSinceWholeLook_ = 0;
        leftByWholeLook_ = threadCount_;
    }
    return buffers;
}

LogBuffer* LogBufferCache::take()
{
    auto* buffers = static_cast<ThreadBuffers*>(current_.get());
    if (buffers != nullptr && buffers->first != nullptr) {
        LogBuffer* buffer = buffers->first;
        buffers->first = buffer->nextFree;
        --buffers->count;
        Platform::writtenBeforeEnd(buffers);
        buffer->reset(streamDefaults_);
        return buffer;
    }
    return new LogBuffer;
}

void LogBufferCache::giveBack(LogBuffer* buffer) noexcept
{
    ThreadBuffers* buffers = threadBuffers();
    if (buffers == nullptr || buffers->count >= cachedBuffersPerThread ||
        buffer->text.capacity() > largestKeptCapacity) {
        delete buffer;
        return;
    }
    buffer->nextFree = buffers->first;
    buffers->first = buffer;
    ++buffers->count;
    Platform::writtenBeforeEnd(buffers);
}

} // namespace Tev::Framework::GenericLogger
