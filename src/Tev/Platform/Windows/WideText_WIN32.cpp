#include "Tev/Platform/WideText.h"

#include <cstdlib>

namespace Tev::Platform {

std::string narrowText(const std::wstring& text)
{
    // Measure first (the count includes the NUL), so the conversion is never cut short
    // for room. A character that the locale cannot encode fails either step.
    std::size_t needed = 0;
    if (::wcstombs_s(&needed, nullptr, 0, text.c_str(), 0) != 0 || needed == 0)
        return std::string();
    std::string narrow(needed, '\0');
    std::size_t written = 0;
    if (::wcstombs_s(&written, &narrow[0], narrow.size(), text.c_str(), needed - 1) != 0 || written == 0)
        return std::string();
    narrow.resize(written - 1);
    return narrow;
}

} // namespace Tev::Platform
