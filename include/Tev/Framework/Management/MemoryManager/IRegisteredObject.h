#ifndef TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_IREGISTEREDOBJECT_H
#define TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_IREGISTEREDOBJECT_H

#include "Tev/Framework/Export.h"

namespace Tev::Framework::Management::MemoryManager {

/// Base of the objects kept in the named object registry (see Registry.h). The
/// registry destroys them with delete, through the virtual destructor.
///
/// Throws: nothing.
/// Concurrency: no state of its own.
class TEV_API IRegisteredObject {
public:
    IRegisteredObject() noexcept;
    IRegisteredObject(const IRegisteredObject& other) noexcept;
    /// Copies nothing.
    IRegisteredObject& operator=(const IRegisteredObject& other) noexcept;
    virtual ~IRegisteredObject();
};

} // namespace Tev::Framework::Management::MemoryManager

#endif
