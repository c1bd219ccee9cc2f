#ifndef TEV_FRAMEWORK_MANAGEMENT_PROPERTYMANAGERIMPL_H
#define TEV_FRAMEWORK_MANAGEMENT_PROPERTYMANAGERIMPL_H

#include "Tev/Framework/Management/PropertyManager.h"

#include <string>
#include <unordered_map>

namespace Tev::Framework::Management {

// The library's one store: a hash map from name to value (only propertyNames() needs the
// names in order, and it is called seldom: when a backend is created).
class PropertyManagerImpl final : public PropertyManager {
public:
    PropertyManagerImpl() = default;
    ~PropertyManagerImpl() override;

    const std::wstring& getProperty(const std::wstring& name) const override;
    bool hasProperty(const std::wstring& name) const noexcept override;
    void setProperty(const std::wstring& name, const std::wstring& value) override;
    void clearProperty(const std::wstring& name) override;
    std::vector<std::wstring> propertyNames(const std::wstring& prefix) const override;

private:
    std::unordered_map<std::wstring, std::wstring> properties_;
};

} // namespace Tev::Framework::Management

#endif
