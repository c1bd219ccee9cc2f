#include "Tev/Framework/LibraryState.h"

#include <atomic>

namespace Tev::Framework {

namespace {
// Constant-initialised and trivially destructible: it outlives the state it speaks of.
std::atomic<bool> tearingDown{false};
} // namespace

LibraryState libraryState;

bool libraryTearingDown() noexcept
{
    return tearingDown.load(std::memory_order_acquire);
}

LibraryState::LibraryState()
{
    counters.emplace();
    crisisCreationLock.emplace();
    logBuffers.emplace();
    loggerRegistry.emplace();
    installedBackends.emplace();
    random.emplace();
    objects.emplace();
}

LibraryState::~LibraryState()
{
    // A channel released below may try to load a backend library: the system's loader
    // would then run this library's initialisers again, from inside its finaliser.
    tearingDown.store(true, std::memory_order_release);
    // Objects still registered are not destroyed: only the registry goes.
    objects.reset();
    random.reset();
    // The installed backends are forgotten first, without notice; closing the
    // loggers then deletes only the backends loaded from libraries.
    installedBackends->clearAndRelease();
    // Channels and backend destructors may log while the loggers are closed, so the
    // registry stays whole until that is over.
    loggerRegistry->teardown();
    loggerRegistry.reset();
    installedBackends.reset();
    logBuffers.reset();
    crisisCreationLock.reset();
    counters.reset();
}

} // namespace Tev::Framework
