#ifndef TEV_PLATFORM_SHAREDLIBRARY_H
#define TEV_PLATFORM_SHAREDLIBRARY_H

#include <string>
#include <vector>

namespace Tev::Platform {

using LibraryHandle = void*;
using SymbolAddress = void (*)();

// Loads a dynamic library. A name with a directory separator is a path, a relative one
// taken from the working directory on every system and made absolute before the load.
// A bare file name is looked for in the running program's folder, then in the folder of
// this library (the framework's) and in its subfolder TEV_BACKEND_FOLDER, then where the
// system's loader looks for a bare name (on Windows: the program's folder, the system
// folders and those added for the process with AddDllDirectory or SetDllDirectory, never
// the working directory or PATH). On Windows, the libraries a library needs are looked for
// in its folder, then there. Returns null when nothing loaded. When given, `filesTried`
// gets every file tried, in order (the last one the absolute path, or the bare name handed
// to the system's loader), and `reason` the loader's own text for the failure that tells
// most: that of a file that exists but would not load, else that of the last try; it is
// emptied on success.
// Throws std::bad_alloc.
LibraryHandle loadLibrary(const std::string& fileName, std::vector<std::string>* filesTried = nullptr,
                          std::string* reason = nullptr);

// The address of an exported symbol, or null (also for a null handle).
SymbolAddress findSymbol(LibraryHandle library, const char* symbolName) noexcept;

// The loader's text for the failure of the last findSymbol() on this thread: call it
// right after. Throws std::bad_alloc.
std::string symbolError();

// Unloads a library; a null handle is ignored.
void unloadLibrary(LibraryHandle library) noexcept;

// ".so" or ".dll".
const char* sharedLibrarySuffix() noexcept;

} // namespace Tev::Platform

#endif
