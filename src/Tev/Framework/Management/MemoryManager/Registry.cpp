#include "Tev/Framework/Management/MemoryManager/Registry.h"

#include "Tev/Framework/LibraryState.h"
#include "Tev/Framework/Management/MemoryManager/ObjectRegistry.h"

#include <boost/thread/lock_guard.hpp>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace Tev::Framework::Management::MemoryManager {

namespace {

std::string_view checkedName(const char* name, const char* operation)
{
    if (name == nullptr) {
        throw std::invalid_argument(std::string(operation) + ": the object name is null");
    }
    return std::string_view(name);
}

} // namespace

IRegisteredObject* registerObject(const char* name, IRegisteredObject* (*factory)())
{
    const std::string_view key = checkedName(name, "MemoryManager::registerObject");
    ObjectRegistry& registry = objectRegistry();
    boost::lock_guard<boost::mutex> hold(registry.mutex);

    const auto found = findName(registry.entries, key);
    if (found != registry.entries.end()) {
        RegistryEntry& entry = *found->second;
        if (entry.references == std::numeric_limits<std::int32_t>::max()) {
            throw std::overflow_error("MemoryManager::registerObject: too many references to one name");
        }
        ++entry.references;
        return entry.object;
    }
    if (factory == nullptr) {
        throw std::invalid_argument("MemoryManager::registerObject: the factory is null");
    }

    // Everything the new name needs is allocated before the factory runs, so that an
    // object it returns is always entered. The entry counts nothing until then, and no
    // one else can see it: the lock is held throughout.
    const auto added = registry.entries.emplace(std::string(key), std::make_unique<RegistryEntry>()).first;
    try {
        added->second->object = factory();
    } catch (...) {
        registry.entries.erase(added);
        throw;
    }
    added->second->references = 1;
    return added->second->object;
}

IRegisteredObject* findObject(const char* name)
{
    const std::string_view key = checkedName(name, "MemoryManager::findObject");
    ObjectRegistry& registry = objectRegistry();
    boost::lock_guard<boost::mutex> hold(registry.mutex);

    const auto found = findName(registry.entries, key);
    return found != registry.entries.end() ? found->second->object : nullptr;
}

void unregisterObject(const char* name)
{
    const std::string_view key = checkedName(name, "MemoryManager::unregisterObject");
    ObjectRegistry& registry = objectRegistry();
    boost::lock_guard<boost::mutex> hold(registry.mutex);

    const auto found = findName(registry.entries, key);
    if (found == registry.entries.end()) {
        return;
    }
    RegistryEntry& entry = *found->second;
    if (--entry.references == 0) {
        // Still under the lock: the object goes first, then its entry and name.
        delete entry.object;
        entry.object = nullptr;
        registry.entries.erase(found);
    }
}

} // namespace Tev::Framework::Management::MemoryManager
