#include "Tev/Framework/Management/PropertyManagerImpl.h"

#include "Tev/Framework/Exceptions/UnexistentProperty.h"
#include "Tev/Platform/WideText.h"

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
    // The new entry is built whole, from copies, before anything is removed: `name` and
    // `value` may be strings of this very store, and running out of memory must leave
    // the old entry in place.
    std::unordered_map<std::wstring, std::wstring> fresh;
    fresh.emplace(name, value);
    auto entry = fresh.extract(fresh.begin());
    // Room for one more entry, so that the insertion cannot need to grow the table.
    properties_.reserve(properties_.size() + 1);
    // From here on nothing allocates. `name` may dangle after the erase: use the copy.
    properties_.erase(entry.key());
    properties_.insert(std::move(entry));
}

void PropertyManagerImpl::clearProperty(const std::wstring& name)
{
    const auto found = properties_.find(name);
    if (found == properties_.end()) {
        throwUnexistent(L"Trying to clear an unexistent property: ", name);
    }
    properties_.erase(found);
}

} // namespace Tev::Framework::Management
