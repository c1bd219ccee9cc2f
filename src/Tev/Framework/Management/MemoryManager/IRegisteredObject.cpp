#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"

#include <type_traits>

namespace Tev::Framework::Management::MemoryManager {

static_assert(std::has_virtual_destructor_v<IRegisteredObject>, "the registry deletes objects through this base");

IRegisteredObject::IRegisteredObject() noexcept = default;

IRegisteredObject::IRegisteredObject(const IRegisteredObject&) noexcept
{}

IRegisteredObject& IRegisteredObject::operator=(const IRegisteredObject&) noexcept
{
    return *this;
}

IRegisteredObject::~IRegisteredObject() = default;

} // namespace Tev::Framework::Management::MemoryManager
