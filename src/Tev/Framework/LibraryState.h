#ifndef TEV_FRAMEWORK_LIBRARYSTATE_H
#define TEV_FRAMEWORK_LIBRARYSTATE_H

#include "Tev/Framework/Counting/CounterRegistry.h"
#include "Tev/Framework/GenericLogger/LogBufferCache.h"
#include "Tev/Framework/GenericLogger/LoggerRegistry.h"
#include "Tev/Framework/Management/MemoryManager/ObjectRegistry.h"
#include "Tev/Framework/RandomSource.h"

#include <boost/thread/mutex.hpp>

#include <optional>

namespace Tev::Framework {

// Owns the library's process-wide objects. They are created while the library is
// loaded, in the order of the members below, and destroyed in reverse order when it
// is unloaded. The property store is not here: it is created on first use, and so is
// destroyed before all of these.
class LibraryState {
public:
    LibraryState();
    ~LibraryState();

    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

    std::optional<Counting::CounterRegistry> counters;
    std::optional<boost::mutex> crisisCreationLock;
    std::optional<GenericLogger::LogBufferCache> logBuffers;
    std::optional<GenericLogger::LoggerRegistry> loggerRegistry;
    std::optional<GenericLogger::BackendList> installedBackends;
    std::optional<RandomSource> random;
    std::optional<Management::MemoryManager::ObjectRegistry> objects;
};

extern LibraryState libraryState;

// Whether the teardown of the library's state has begun. Readable until the library
// leaves the process.
bool libraryTearingDown() noexcept;

inline Counting::CounterRegistry& counterRegistry() noexcept
{
    return *libraryState.counters;
}
inline boost::mutex& crisisCreationLock() noexcept
{
    return *libraryState.crisisCreationLock;
}
inline GenericLogger::LogBufferCache& logBufferCache() noexcept
{
    return *libraryState.logBuffers;
}
inline GenericLogger::LoggerRegistry& loggerRegistry() noexcept
{
    return *libraryState.loggerRegistry;
}
inline GenericLogger::BackendList& installedBackends() noexcept
{
    return *libraryState.installedBackends;
}
inline RandomSource& randomSource() noexcept
{
    return *libraryState.random;
}
inline Management::MemoryManager::ObjectRegistry& objectRegistry() noexcept
{
    return *libraryState.objects;
}

} // namespace Tev::Framework

#endif
