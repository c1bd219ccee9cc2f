#include "Settings.h"

#include "SinkBackend.h"

#include "Tev/Framework/Framework.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cwchar>
#include <optional>
#include <stdexcept>

namespace TevBackends {

namespace {

const std::wstring* property(const std::string& name)
{
    const std::wstring wideName(name.begin(), name.end());
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

// `value` as a decimal number of type Number: digits, and a leading '-' if Number is signed.
template <typename Number>
std::optional<Number> parse(const std::wstring& value)
{
    std::string text;
    for (const wchar_t c : value) {
        if (static_cast<std::uint32_t>(c) > 0x7f)
            return std::nullopt;
        text += static_cast<char>(c);
    }
    Number number{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || stop != end || text.empty())
        return std::nullopt;
    return number;
}

bool within(wchar_t c, std::uint32_t least, std::uint32_t beyond)
{
    return static_cast<std::uint32_t>(c) >= least && static_cast<std::uint32_t>(c) < beyond;
}

// Whether every code in `value` is a Unicode scalar value (a surrogate pair counts where wchar_t
// is UTF-16): glibc's UTF-8 encodes codes up to 0x7fffffff, which would make invalid UTF-8.
bool unicode(const std::wstring& value)
{
    bool pairOpen = false; // after the first half of a surrogate pair
    for (const wchar_t c : value) {
        const bool firstHalf = within(c, 0xd800, 0xdc00);
        const bool secondHalf = within(c, 0xdc00, 0xe000);
        if (!within(c, 0, 0x110000) || pairOpen != secondHalf || (firstHalf && sizeof(wchar_t) > 2))
            return false;
        pairOpen = firstHalf;
    }
    return !pairOpen;
}

bool digits(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

} // namespace

void badSetting(const std::string& name, const std::wstring& value, const std::string& why)
{
    throw std::invalid_argument("Property " + name + " has the bad value '" + printable(value) + "': " + why);
}

void refuseUnknownSettings(const std::string& prefix, std::initializer_list<const char*> known)
{
    const std::wstring widePrefix(prefix.begin(), prefix.end());
    // The names beside the backend's (under Tev.Backend.) are looked at once: its name in
    // another case (Tev.Backend.console.Level) is a setting meant for it too.
    const std::wstring beside = widePrefix.substr(0, widePrefix.rfind(L'.', widePrefix.size() - 2) + 1);
    const auto sameIgnoringCase = [](wchar_t a, wchar_t b) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c; };
        return lower(a) == lower(b);
    };
    for (const std::wstring& name : Tev::Framework::Framework::propertyManager()->propertyNames(beside)) {
        if (name.compare(0, prefix.size(), widePrefix) != 0) {
            if (name.size() > prefix.size() &&
                std::equal(widePrefix.begin(), widePrefix.end(), name.begin(), sameIgnoringCase))
                throw std::invalid_argument("Property " + printable(name) +
                                            " is not a setting of the backend: its settings begin with " + prefix);
            continue;
        }
        const std::wstring setting = name.substr(prefix.size());
        if (std::none_of(known.begin(), known.end(),
                         [&](const char* each) { return setting == std::wstring(each, each + std::strlen(each)); })) {
            std::string names;
            for (const char* each : known)
                names += (names.empty() ? "" : ", ") + std::string(each);
            throw std::invalid_argument("Property " + printable(name) +
                                        " is not a setting of the backend: its settings are " + names);
        }
    }
}

void refuseSetting(const std::string& name, const std::string& why)
{
    if (const std::wstring* value = property(name))
        badSetting(name, *value, why);
}

std::string textSetting(const std::string& name, const std::string& fallback)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    if (value->empty())
        badSetting(name, *value, "it is empty");
    if (value->find(L'\0') != std::wstring::npos)
        badSetting(name, *value, "it holds a NUL character");
    if (!unicode(*value))
        badSetting(name, *value, "it holds a code that is no Unicode character");
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

std::size_t numberSetting(const std::string& name, std::size_t fallback, std::size_t least, std::size_t most)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    const std::optional<std::size_t> number = parse<std::size_t>(*value);
    if (!number || *number < least || *number > most)
        badSetting(name, *value,
                   "a whole number from " + std::to_string(least) + " to " + std::to_string(most) + " is expected");
    return *number;
}

std::int64_t levelSetting(const std::string& name, std::int64_t fallback)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    std::string names;
    for (int step = spdlog::level::trace; step <= spdlog::level::off; ++step) {
        const auto level = static_cast<spdlog::level::level_enum>(step);
        const spdlog::string_view_t stepName = spdlog::level::to_string_view(level);
        if (*value == std::wstring(stepName.begin(), stepName.end()))
            return leastLevel(level);
        names += (names.empty() ? "" : ", ") + std::string(stepName.begin(), stepName.end());
    }
    if (const std::optional<std::int32_t> number = parse<std::int32_t>(*value))
        return *number;
    badSetting(name, *value,
               "a level name (" + names + ") or a whole number from -2147483648 to 2147483647 is expected");
}

std::size_t choiceSetting(const std::string& name, std::initializer_list<const char*> choices)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return 0;
    std::string names;
    std::size_t index = 0;
    for (const char* choice : choices) {
        if (*value == std::wstring(choice, choice + std::char_traits<char>::length(choice)))
            return index;
        names += (index++ == 0 ? "" : ", ") + std::string(choice);
    }
    badSetting(name, *value, "one of " + names + " is expected");
}

std::pair<int, int> timeSetting(const std::string& name, std::pair<int, int> fallback)
{
    const std::wstring* value = property(name);
    if (value == nullptr)
        return fallback;
    if (value->size() == 5 && (*value)[2] == L':' && digits(value->substr(0, 2)) && digits(value->substr(3))) {
        const int hours = *parse<int>(value->substr(0, 2));
        const int minutes = *parse<int>(value->substr(3));
        if (hours < 24 && minutes < 60)
            return {hours, minutes};
    }
    badSetting(name, *value, "a time of day from 00:00 to 23:59 is expected");
}

} // namespace TevBackends
