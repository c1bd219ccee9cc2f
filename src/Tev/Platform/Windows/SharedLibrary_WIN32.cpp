#include "Tev/Platform/SharedLibrary.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace Tev::Platform {

LibraryHandle loadLibrary(const std::string& fileName)
{
    if (fileName.empty())
        return nullptr;
    // A bare file name is looked for in the program's folder first: Windows' own
    // search order. A path needs backslashes; LoadLibraryA may refuse '/'.
    std::string name = fileName;
    std::replace(name.begin(), name.end(), '/', '\\');
    // No message box when the library or one it needs is missing.
    DWORD previousMode = 0;
    const BOOL quiet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    const HMODULE module = ::LoadLibraryA(name.c_str());
    if (quiet)
        ::SetThreadErrorMode(previousMode, nullptr);
    return reinterpret_cast<LibraryHandle>(module);
}

SymbolAddress findSymbol(LibraryHandle library, const char* symbolName) noexcept
{
    if (library == nullptr || symbolName == nullptr)
        return nullptr;
    const FARPROC address = ::GetProcAddress(static_cast<HMODULE>(library), symbolName);
    SymbolAddress function = nullptr;
    static_assert(sizeof function == sizeof address, "FARPROC and function pointers differ in size");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

void unloadLibrary(LibraryHandle library) noexcept
{
    if (library != nullptr)
        ::FreeLibrary(static_cast<HMODULE>(library));
}

const char* sharedLibrarySuffix() noexcept
{
    return ".dll";
}

} // namespace Tev::Platform
