#ifndef TEV_FRAMEWORK_MANAGEMENT_PROPERTYMANAGER_H
#define TEV_FRAMEWORK_MANAGEMENT_PROPERTYMANAGER_H

#include "Tev/Framework/Exceptions/UnexistentProperty.h"
#include "Tev/Framework/Export.h"

#include <string>
#include <vector>

namespace Tev::Framework::Management {

/// The process-wide store of named wide-string properties; get it from
/// Framework::propertyManager(). Each name has exactly one value. Names compare
/// exactly, code unit by code unit; the empty name and the empty value are ordinary.
/// The store lives in memory only and starts empty.
///
/// Throws: getProperty() and clearProperty() throw Exceptions::UnexistentProperty for a
/// missing name, with the message "Trying to read unexistent property: <name>" or
/// "Trying to clear an unexistent property: <name>" in the current locale's multibyte
/// encoding (the empty message if the locale cannot encode the text); setProperty()
/// and those two, and propertyNames(), may throw std::bad_alloc. Whatever they throw, the store is as it was
/// before the call. hasProperty() throws nothing.
/// Concurrency: none: the store takes no lock. Callers that share the store between
/// threads make their calls one at a time under a lock of their own. The bundled
/// backends read it while Logger::installBackend("name") or loadBackend() creates them:
/// set their properties before, not meanwhile.
class TEV_API PropertyManager {
public:
    PropertyManager() noexcept;
    /// Copying a store copies nothing.
    PropertyManager(const PropertyManager& other) noexcept;
    PropertyManager& operator=(const PropertyManager& other) noexcept;
    virtual ~PropertyManager();

    /// The stored value itself, valid until that name is set or cleared or the store
    /// is destroyed. Never creates an entry.
    virtual const std::wstring& getProperty(const std::wstring& name) const = 0;

    /// Whether `name` has a value.
    virtual bool hasProperty(const std::wstring& name) const noexcept = 0;

    /// Stores a copy of `value` under a copy of `name`, replacing any earlier entry
    /// (references to the earlier value become invalid). `name` and `value` may refer
    /// to values inside the store. On failure the earlier entry stays as it was.
    virtual void setProperty(const std::wstring& name, const std::wstring& value) = 0;

    /// Removes the entry for `name`.
    virtual void clearProperty(const std::wstring& name) = 0;

    /// The names that begin with `prefix` (every name, for the empty prefix), in ascending
    /// order. Added after the others, so that every earlier operation keeps its slot.
    virtual std::vector<std::wstring> propertyNames(const std::wstring& prefix) const = 0;
};

} // namespace Tev::Framework::Management

#endif
