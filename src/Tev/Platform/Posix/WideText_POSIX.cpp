#include "Tev/Platform/WideText.h"

#include <cstdlib>

namespace Tev::Platform {

std::string narrowText(const std::wstring& text)
{
    // Measure first, so the conversion is never cut short for room.
    const std::size_t length = std::wcstombs(nullptr, text.c_str(), 0);
    if (length == static_cast<std::size_t>(-1)) {
        return std::string();
    }
    std::string narrow(length + 1, '\0');
    const std::size_t written = std::wcstombs(&narrow[0], text.c_str(), narrow.size());
    if (written == static_cast<std::size_t>(-1)) {
        return std::string();
    }
    narrow.resize(written);
    return narrow;
}

} // namespace Tev::Platform
