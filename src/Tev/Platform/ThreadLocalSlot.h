#ifndef TEV_PLATFORM_THREADLOCALSLOT_H
#define TEV_PLATFORM_THREADLOCALSLOT_H

namespace Tev::Platform {

// One pointer per thread. The cleanup function runs at the exit of every thread
// whose value is not null; it does not run for values left when the slot is destroyed.
// On Windows it runs from the library's thread-detach notification, under the system
// loader's lock, and at most four of the library's slots have one.
class ThreadLocalSlot {
public:
    using Cleanup = void (*)(void*);

    // Throws std::runtime_error when the system has no slot left.
    explicit ThreadLocalSlot(Cleanup cleanup);
    ~ThreadLocalSlot();

    ThreadLocalSlot(const ThreadLocalSlot&) = delete;
    ThreadLocalSlot& operator=(const ThreadLocalSlot&) = delete;

    void* get() const noexcept;
    // Throws std::bad_alloc when the system cannot store the value.
    void set(void* value);

private:
    unsigned long key_;
};

} // namespace Tev::Platform

#endif
