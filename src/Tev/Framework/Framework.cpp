#include "Tev/Framework/Framework.h"

#include "Tev/Framework/LibraryState.h"
#include "Tev/Framework/Management/PropertyManagerImpl.h"

namespace Tev::Framework {

Management::PropertyManager* Framework::propertyManager()
{
    // Created on the first call, which registers its destruction then: it goes before
    // everything made at load. If the construction throws, the next call tries again.
    static Management::PropertyManagerImpl store;
    return &store;
}

unsigned short Framework::randomNumber()
{
    return randomSource().next();
}

Framework& Framework::operator=(const Framework&) noexcept
{
    return *this;
}

} // namespace Tev::Framework
