#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"

namespace Tev::Framework::Management::MemoryManager {

IRegisteredObject::IRegisteredObject() noexcept = default;

IRegisteredObject::IRegisteredObject(const IRegisteredObject&) noexcept
{}

IRegisteredObject& IRegisteredObject::operator=(const IRegisteredObject&) noexcept
{
    return *this;
}

IRegisteredObject::~IRegisteredObject() = default;

} // namespace Tev::Framework::Management::MemoryManager
