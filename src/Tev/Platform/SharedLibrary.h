#ifndef TEV_PLATFORM_SHAREDLIBRARY_H
#define TEV_PLATFORM_SHAREDLIBRARY_H

#include <string>

namespace Tev::Platform {

using LibraryHandle = void*;
using SymbolAddress = void (*)();

// Loads a dynamic library. A name with a directory separator is a path; a bare
// file name is looked for in the running program's directory first, then where
// the system's loader looks. Returns null when the library cannot be loaded.
// Throws std::bad_alloc.
LibraryHandle loadLibrary(const std::string& fileName);

// The address of an exported symbol, or null (also for a null handle).
SymbolAddress findSymbol(LibraryHandle library, const char* symbolName) noexcept;

// Unloads a library; a null handle is ignored.
void unloadLibrary(LibraryHandle library) noexcept;

// ".so" or ".dll".
const char* sharedLibrarySuffix() noexcept;

} // namespace Tev::Platform

#endif
