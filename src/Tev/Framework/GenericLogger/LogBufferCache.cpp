#include "Tev/Framework/GenericLogger/LogBufferCache.h"

#include "Tev/Framework/GenericLogger/LogBuffer.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <thread>
#include <utility>

namespace Tev::Framework::GenericLogger {

namespace {

constexpr std::size_t cachedBuffersPerThread = 4;
// A buffer that grew past this for one long message is freed rather than kept.
constexpr std::size_t largestKeptCapacity = 64 * 1024;

// What a thread's end shares with the cache's destruction. Plain atomics, constant-
// initialised and trivially destructible: a thread that ends while the library is
// unloaded still finds them.
std::atomic<LogBufferCache*> liveCache{nullptr};
// Guards the list of all threads' buffers, and whether the cache is there.
std::atomic_flag threadsGuard = ATOMIC_FLAG_INIT;
// Threads inside threadEnded(); the cache's destruction waits for none to be left.
std::atomic<int> endingThreads{0};

class ThreadsGuard {
public:
    ThreadsGuard() noexcept
    {
        while (threadsGuard.test_and_set(std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~ThreadsGuard() { threadsGuard.clear(std::memory_order_release); }
    ThreadsGuard(const ThreadsGuard&) = delete;
    ThreadsGuard& operator=(const ThreadsGuard&) = delete;
};

} // namespace

// One thread's free buffers, linked into the list of all threads'.
struct LogBufferCache::ThreadBuffers {
    LogBuffer* first = nullptr;
    std::size_t count = 0;
    ThreadBuffers* previous = nullptr;
    ThreadBuffers* next = nullptr;

    ~ThreadBuffers()
    {
        while (first != nullptr)
            delete std::exchange(first, first->nextFree);
    }
};

void LogBufferCache::threadEnded(void* value)
{
    endingThreads.fetch_add(1);
    {
        const ThreadsGuard guard;
        // Once the cache is gone, so are this thread's buffers.
        if (LogBufferCache* cache = liveCache.load(std::memory_order_relaxed)) {
            // Whatever logs later on this thread makes a new set, as the slot is empty now.
            try {
                cache->fast_.set(nullptr);
            } catch (...) {
                // Clearing a value needs no memory.
            }
            auto* buffers = static_cast<ThreadBuffers*>(value);
            if (buffers->previous != nullptr)
                buffers->previous->next = buffers->next;
            else
                cache->threads_ = buffers->next;
            if (buffers->next != nullptr)
                buffers->next->previous = buffers->previous;
            delete buffers;
        }
    }
    endingThreads.fetch_sub(1);
}

LogBufferCache::LogBufferCache()
{
    slot_.emplace(&threadEnded);
    liveCache.store(this);
}

LogBufferCache::~LogBufferCache()
{
    // No thread's end calls threadEnded() any more, once the slot is gone; those that
    // already do find the cache gone, and are waited for.
    slot_.reset();
    {
        const ThreadsGuard guard;
        liveCache.store(nullptr, std::memory_order_relaxed);
        while (threads_ != nullptr)
            delete std::exchange(threads_, threads_->next);
    }
    while (endingThreads.load() != 0)
        std::this_thread::yield();
}

LogBufferCache::ThreadBuffers* LogBufferCache::threadBuffers() noexcept
{
    auto* buffers = static_cast<ThreadBuffers*>(fast_.get());
    if (buffers != nullptr)
        return buffers;
    buffers = new (std::nothrow) ThreadBuffers;
    if (buffers == nullptr)
        return nullptr;
    try {
        slot_->set(buffers);
    } catch (...) {
        delete buffers;
        return nullptr;
    }
    try {
        fast_.set(buffers);
    } catch (...) {
        // The slot has them and frees them with the thread; the next call looks anew.
    }
    const ThreadsGuard guard;
    buffers->next = threads_;
    if (threads_ != nullptr)
        threads_->previous = buffers;
    threads_ = buffers;
    return buffers;
}

LogBuffer* LogBufferCache::take()
{
    auto* buffers = static_cast<ThreadBuffers*>(fast_.get());
    if (buffers != nullptr && buffers->first != nullptr) {
        LogBuffer* buffer = buffers->first;
        buffers->first = buffer->nextFree;
        --buffers->count;
        buffer->reset();
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
}

} // namespace Tev::Framework::GenericLogger
