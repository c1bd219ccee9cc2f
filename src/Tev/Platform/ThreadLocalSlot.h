#ifndef TEV_PLATFORM_THREADLOCALSLOT_H
#define TEV_PLATFORM_THREADLOCALSLOT_H

namespace Tev::Platform {

// One pointer per thread, in a slot of the system's (a TLS index): on Windows, where the
// compiler's thread_local is emulated and does not survive unloading the library. Nothing
// runs when a thread ends; every thread's value goes with the slot.
class ThreadLocalSlot {
public:
    // Throws std::runtime_error when the system has no slot left.
    ThreadLocalSlot();
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
