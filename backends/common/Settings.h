// The bundled backends' settings, read from the framework's property store. Property
// names are ASCII; values are wide strings.
#ifndef TEV_BACKENDS_SETTINGS_H
#define TEV_BACKENDS_SETTINGS_H

#include <cstddef>
#include <string>

namespace TevBackends {

// The value of property `name` in the current locale's multibyte encoding, or
// `fallback` when it is not set. Throws std::invalid_argument, naming the property,
// for an empty value or one the locale cannot encode.
std::string textSetting(const char* name, const std::string& fallback);

// The value of property `name` as a whole decimal number from `least` to `most`, or
// `fallback` when it is not set. Throws std::invalid_argument, naming the property
// and the value, for anything else.
std::size_t numberSetting(const char* name, std::size_t fallback, std::size_t least, std::size_t most);

// Throws std::invalid_argument: "Property <name> has the bad value '<value>': <why>".
[[noreturn]] void badSetting(const char* name, const std::wstring& value, const std::string& why);

} // namespace TevBackends

#endif
