#ifndef TEV_PLATFORM_WIDETEXT_H
#define TEV_PLATFORM_WIDETEXT_H

#include <string>

namespace Tev::Platform {

// `text` up to its first NUL, in the multibyte encoding of the process's current
// locale. The empty string if any character cannot be encoded there.
// Throws std::bad_alloc.
std::string narrowText(const std::wstring& text);

} // namespace Tev::Platform

#endif
