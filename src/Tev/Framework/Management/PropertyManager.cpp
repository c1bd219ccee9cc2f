#include "Tev/Framework/Management/PropertyManager.h"

namespace Tev::Framework::Management {

PropertyManager::PropertyManager() noexcept = default;

PropertyManager::PropertyManager(const PropertyManager&) noexcept
{}

PropertyManager& PropertyManager::operator=(const PropertyManager&) noexcept
{
    return *this;
}

PropertyManager::~PropertyManager() = default;

} // namespace Tev::Framework::Management
