// The bundled backends' settings, read from the framework's property store. Property
// names are ASCII; values are wide strings. Each reader gives `fallback` (or its first
// choice) when the property is not set, and throws std::invalid_argument through
// badSetting() for any value it does not take.
#ifndef TEV_BACKENDS_SETTINGS_H
#define TEV_BACKENDS_SETTINGS_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace TevBackends {

// The value in the current locale's multibyte encoding; not empty, no NUL inside, only
// Unicode characters (no surrogate, nothing above U+10FFFF), and one the locale can encode.
std::string textSetting(const std::string& name, const std::string& fallback);

// A whole decimal number from `least` to `most`.
std::size_t numberSetting(const std::string& name, std::size_t fallback, std::size_t least, std::size_t most);

// A level: a whole number from -2147483648 to 2147483647, or the name of one of spdlog's
// levels as the lines print it (trace, debug, info, warning, error, critical, off),
// which stands for the least level printed under that name (off: above every level).
std::int64_t levelSetting(const std::string& name, std::int64_t fallback);

// The position of the value among `choices`; the first when the property is not set.
std::size_t choiceSetting(const std::string& name, std::initializer_list<const char*> choices);

// A time of day HH:MM, two digits each, as {hours, minutes}.
std::pair<int, int> timeSetting(const std::string& name, std::pair<int, int> fallback);

// Throws std::invalid_argument for the first property under `prefix` ("Tev.Backend.File.")
// whose name is not `prefix` and one of `known`: "Property <name> is not a setting of the
// backend: its settings are <known>", so that a misspelt name is not silently ignored.
void refuseUnknownSettings(const std::string& prefix, std::initializer_list<const char*> known);

// Throws std::invalid_argument through badSetting() if `name` is set at all: `why` says which
// other setting leaves no room for it.
void refuseSetting(const std::string& name, const std::string& why);

// Throws std::invalid_argument: "Property <name> has the bad value '<value>': <why>",
// the value's characters outside printable ASCII shown as '?'.
[[noreturn]] void badSetting(const std::string& name, const std::wstring& value, const std::string& why);

} // namespace TevBackends

#endif
