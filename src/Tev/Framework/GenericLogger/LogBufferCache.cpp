#include "Tev/Framework/GenericLogger/LogBufferCache.h"

#include "Tev/Framework/GenericLogger/LogBuffer.h"

#include <boost/thread/lock_guard.hpp>

#include <cstddef>
#include <new>
#include <utility>

namespace Tev::Framework::GenericLogger {

namespace {

constexpr std::size_t cachedBuffersPerThread = 4;
// A buffer that grew past this for one long message is freed rather than kept.
constexpr std::size_t largestKeptCapacity = 64 * 1024;

} // namespace

// One thread's free buffers, linked into the list of all threads'.
struct LogBufferCache::ThreadBuffers {
    LogBufferCache* owner;
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
    auto* buffers = static_cast<ThreadBuffers*>(value);
    LogBufferCache& cache = *buffers->owner;
    // Whatever logs later on this thread makes a new set, as the slot is empty now.
    try {
        cache.fast_.set(nullptr);
    } catch (...) {
        // Clearing a value needs no memory.
    }
    {
        const boost::lock_guard<boost::mutex> guard(cache.threadsLock_);
        if (buffers->previous != nullptr)
            buffers->previous->next = buffers->next;
        else
            cache.threads_ = buffers->next;
        if (buffers->next != nullptr)
            buffers->next->previous = buffers->previous;
    }
    delete buffers;
}

LogBufferCache::LogBufferCache() : slot_(&threadEnded)
{}

LogBufferCache::~LogBufferCache()
{
    const boost::lock_guard<boost::mutex> guard(threadsLock_);
    while (threads_ != nullptr)
        delete std::exchange(threads_, threads_->next);
}

LogBufferCache::ThreadBuffers* LogBufferCache::threadBuffers() noexcept
{
    auto* buffers = static_cast<ThreadBuffers*>(fast_.get());
    if (buffers != nullptr)
        return buffers;
    buffers = new (std::nothrow) ThreadBuffers{this};
    if (buffers == nullptr)
        return nullptr;
    try {
        slot_.set(buffers);
    } catch (...) {
        delete buffers;
        return nullptr;
    }
    try {
        fast_.set(buffers);
    } catch (...) {
        // The slot has them and frees them with the thread; the next call looks anew.
    }
    const boost::lock_guard<boost::mutex> guard(threadsLock_);
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
