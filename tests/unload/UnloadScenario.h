#ifndef TEV_TESTS_UNLOADSCENARIO_H
#define TEV_TESTS_UNLOADSCENARIO_H

// What the unload test host asks of the client library, and what it gets back. Plain
// data only: the host does not link the framework.

#include <atomic>
#include <cstddef>

namespace TevTest {

// Events in the order they happened, written without allocating so that it can be
// written from inside operator delete.
struct EventLog {
    static constexpr std::size_t capacity = 64, textSize = 48;

    void add(const char* text) noexcept
    {
        const std::size_t index = count.fetch_add(1);
        if (index >= capacity)
            return;
        std::size_t i = 0;
        for (; text[i] != '\0' && i + 1 < textSize; ++i)
            events[index][i] = text[i];
        events[index][i] = '\0';
    }

    std::atomic<std::size_t> count{0};
    char events[capacity][textSize] = {};
};

struct UnloadScenario {
    EventLog* events = nullptr;
    bool setProperty = false;
    bool leaveObjectRegistered = false;
    bool keepChannels = false;            // unloadLoggingChannels(false)
    bool logFromRelease = false;          // channels log while they are released
    bool loadFromRelease = false;         // channels load a backend library while they are released
    const void* propertyBuffer = nullptr; // out: where the stored property value's characters live
};

// The client library's entry point: uses the framework as a client program would.
using RunUnloadScenario = int (*)(UnloadScenario*);
// Logs one message on the calling thread.
using LogOnThisThread = void (*)();

} // namespace TevTest

#endif
