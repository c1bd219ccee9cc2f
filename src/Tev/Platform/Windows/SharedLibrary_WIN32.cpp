#include "Tev/Platform/SharedLibrary.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace Tev::Platform {

namespace {

// The folder of `module`'s file (the program's for null), with its final '\'.
std::string folderOf(HMODULE module)
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            const std::string file(path.data(), length);
            const std::string::size_type slash = file.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
        }
        path.resize(path.size() * 2);
    }
}

// The folder of the DLL that this code is part of.
std::string libraryFolder()
{
    static const char anchor = 0;
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              &anchor, &module))
        return std::string();
    return folderOf(module);
}

// The path from the working directory of the moment, if it is relative; as it is if the
// system cannot tell.
std::string absolutePath(const std::string& path)
{
    std::string absolute(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(absolute.size()), &absolute[0], nullptr);
        if (length == 0)
            return path;
        if (length < absolute.size())
            return absolute.substr(0, length);
        absolute.resize(length);
    }
}

// GetLastError()'s message for `code`, without its line end.
std::string messageOf(DWORD code)
{
    char* text = nullptr;
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

} // namespace

LibraryHandle loadLibrary(const std::string& fileName, std::vector<std::string>* filesTried, std::string* reason)
{
    if (fileName.empty())
        return nullptr;
    // LoadLibrary may refuse '/' in a path.
    std::string name = fileName;
    std::replace(name.begin(), name.end(), '/', '\\');
    const bool isPath = name.find('\\') != std::string::npos;
    std::vector<std::string> files;
    if (!isPath) {
        const std::string besideLibrary = libraryFolder();
        for (const std::string& folder : {folderOf(nullptr), besideLibrary, besideLibrary + TEV_BACKEND_FOLDER "\\"})
            if (!folder.empty() && std::find(files.begin(), files.end(), folder + name) == files.end())
                files.push_back(folder + name);
    }
    // A path, made absolute from the working directory (LoadLibrary would look for a
    // relative one in its search folders); or the bare name, for the system's search.
    files.push_back(isPath ? absolutePath(name) : name);
    std::string failure;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const bool last = i + 1 == files.size();
        if (filesTried != nullptr)
            filesTried->push_back(files[i]);
        if (!last && ::GetFileAttributesA(files[i].c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        // No message box when the library or one it needs is missing. The libraries that a
        // library needs are looked for in its own folder, then as the bare name is: in the
        // program's folder, the system folders and the folders added for the process; never
        // in the working directory, nor in PATH, which may hold anything.
        DWORD previousMode = 0;
        const BOOL quiet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
        const DWORD search = last && !isPath ? LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                                             : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
        const HMODULE module = ::LoadLibraryExA(files[i].c_str(), nullptr, search);
        const DWORD error = ::GetLastError();
        if (quiet)
            ::SetThreadErrorMode(previousMode, nullptr);
        if (module != nullptr) {
            if (reason != nullptr)
                reason->clear();
            return reinterpret_cast<LibraryHandle>(module);
        }
        if (failure.empty())
            failure = messageOf(error);
    }
    if (reason != nullptr)
        *reason = failure;
    return nullptr;
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

std::string symbolError()
{
    return messageOf(::GetLastError());
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
