#ifndef TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_OBJECTREGISTRY_H
#define TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_OBJECTREGISTRY_H

#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"
#include "Tev/Framework/NameHash.h"

#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <memory>

namespace Tev::Framework::Management::MemoryManager {

// One registered name.
struct RegistryEntry {
    // What the factory returned, possibly null; owned.
    IRegisteredObject* object = nullptr;
    // Unreleased registerObject() calls for the name; at least 1 while registered.
    std::int32_t references = 0;
};

// The named object registry. Guarded by `mutex`.
struct ObjectRegistry {
    ObjectRegistry() = default;
    // Frees the entries; objects still registered are left alone.
    ~ObjectRegistry() = default;

    ObjectRegistry(const ObjectRegistry&) = delete;
    ObjectRegistry& operator=(const ObjectRegistry&) = delete;

    NameMap<std::unique_ptr<RegistryEntry>> entries;
    boost::mutex mutex;
};

} // namespace Tev::Framework::Management::MemoryManager

#endif
