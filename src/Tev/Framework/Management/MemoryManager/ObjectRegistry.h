#ifndef TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_OBJECTREGISTRY_H
#define TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_OBJECTREGISTRY_H

namespace Tev::Framework::Management::MemoryManager {

// Placeholder until the named object registry lands.
struct ObjectRegistry {
};

} // namespace Tev::Framework::Management::MemoryManager

#endif
