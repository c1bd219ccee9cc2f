#include "Tev/Framework/Management/PropertyManagerImpl.h"

#include "Tev/Framework/Exceptions/UnexistentProperty.h"
#include "Tev/Platform/WideText.h"

#include <algorithm>
#include <utility>

namespace Tev::Framework::Management {

namespace {

[[noreturn]] void throwUnexistent(const wchar_t* prefix, const std::wstring& name)
{
    // Converted up to the first NUL, so a name with a NUL in it is cut there.
    const std::string message = Platform::narrowText(prefix + name);
    throw Exceptions::UnexistentProperty(message.c_str());
}

} // namespace

PropertyManagerImpl::~PropertyManagerImpl() = default;

const std::wstring& PropertyManagerImpl::getProperty(const std::wstring& name) const
{
    const auto found = properties_.find(name);
    if (found == properties_.end()) {
        throwUnexistent(L"Trying to read unexistent property: ", name);
    }
    return found->second;
}

bool PropertyManagerImpl::hasProperty(const std::wstring& name) const noexcept
{
    return properties_.find(name) != properties_.end();
}

void PropertyManagerImpl::setProperty(const std::wstring& name, const std::wstring& value)
{
    // Everything that can run out of memory comes before any change, so that a failure
    // leaves the store as it was. The value is copied first: `name` and `value` may be
    // strings of this very store, and the room reserved means no insertion regrows it.
    std::wstring copy(value);
    properties_.reserve(properties_.size() + 1);
    const auto found = properties_.find(name);
    if (found != properties_.end())
        found->second.swap(copy);
    else
        properties_.emplace(name, std::move(copy));
}

void PropertyManagerImpl::clearProperty(const std::wstring& name)
{
    const auto found = properties_.find(name);
    if (found == properties_.end()) {
        throwUnexistent(L"Trying to clear an unexistent property: ", name);
    }
    properties_.erase(found);
}

std::vector<std::wstring> PropertyManagerImpl::propertyNames(const std::wstring& prefix) const
{
    std::vector<std::wstring> names;
    for (const auto& [name, value] : properties_)
        if (name.compare(0, prefix.size(), prefix) == 0)
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace Tev::Framework::Management
