#include "Settings.h"

#include "Tev/Framework/Framework.h"

#include <cstdlib>
#include <cwchar>
#include <stdexcept>

namespace TevBackends {

namespace {

const std::wstring* property(const char* name)
{
    const std::wstring wideName(name, name + std::char_traits<char>::length(name));
    auto* store = Tev::Framework::Framework::propertyManager();
    return store->hasProperty(wideName) ? &store->getProperty(wideName) : nullptr;
}

// For messages: ASCII as it is, anything else as '?'.
std::string printable(const std::wstring& value)
{
    std::string text;
    for (const wchar_t c : value)
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    return text;
}

} // namespace

void badSetting(const char* name, const std::wstring& value, const std::string& why)
{
    throw std::invalid_argument("Property " + std::string(name) + " has the bad value '" + printable(value) +
                                "': " + why);
}

std::string textSetting(const char* name, const std::string& fallback)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    if (value->empty())
        badSetting(name, *value, "it is empty");
    std::mbstate_t state{};
    const wchar_t* source = value->c_str();
    const std::size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        badSetting(name, *value, "the current locale cannot encode it");
    std::string text(length, '\0');
    source = value->c_str();
    std::wcsrtombs(text.data(), &source, length, &state);
    return text;
}

std::size_t numberSetting(const char* name, std::size_t fallback, std::size_t least, std::size_t most)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    const std::string range =
        "a whole number from " + std::to_string(least) + " to " + std::to_string(most) + " is expected";
    std::size_t number = 0;
    for (const wchar_t c : *value) {
        if (c < L'0' || c > L'9')
            badSetting(name, *value, range);
        const auto digit = static_cast<std::size_t>(c - L'0');
        if (digit > most || number > (most - digit) / 10)
            badSetting(name, *value, range);
        number = number * 10 + digit;
    }
    if (value->empty() || number < least)
        badSetting(name, *value, range);
    return number;
}

} // namespace TevBackends
