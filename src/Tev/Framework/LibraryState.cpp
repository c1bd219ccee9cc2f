#include "Tev/Framework/LibraryState.h"

namespace Tev::Framework {

LibraryState libraryState;

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
