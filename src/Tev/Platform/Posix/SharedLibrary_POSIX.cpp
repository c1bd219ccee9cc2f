#include "Tev/Platform/SharedLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Tev::Platform {

namespace {

// The folder part of `path`, with its final '/'; empty if it has none.
std::string folderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string programFolder()
{
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            return std::string();
        if (static_cast<std::size_t>(length) < path.size())
            return folderOf(std::string(path.data(), static_cast<std::size_t>(length)));
        path.resize(path.size() * 2);
    }
}

// The folder of the file that this library was loaded from, absolute and with the
// folders' symbolic links resolved; empty if it cannot be had. Taken once, as the library
// is loaded: the loader may have found it by a path relative to the working directory of
// that moment ("./libtevframework.so.1").
std::string findLibraryFolder()
{
    static const char anchor = 0;
    Dl_info info{};
    if (::dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    const std::string folder = folderOf(info.dli_fname);
    std::unique_ptr<char, void (*)(void*)> absolute(::realpath(folder.empty() ? "." : folder.c_str(), nullptr),
                                                    &std::free);
    if (absolute == nullptr)
        return std::string();
    return std::string(absolute.get()) + (absolute.get()[1] != '\0' ? "/" : "");
}

const std::string libraryFolder = findLibraryFolder();

// The path from the working directory of the moment, if it is relative.
std::string absolutePath(const std::string& path)
{
    if (path[0] == '/')
        return path;
    const std::unique_ptr<char, void (*)(void*)> folder(::getcwd(nullptr, 0), &std::free);
    if (folder == nullptr) // dlopen takes a relative path from it all the same
        return path;
    return std::string(folder.get()) + (folder.get()[1] != '\0' ? "/" : "") + path;
}

} // namespace

LibraryHandle loadLibrary(const std::string& fileName, std::vector<std::string>* filesTried, std::string* reason)
{
    if (fileName.empty())
        return nullptr;
    const bool isPath = fileName.find('/') != std::string::npos;
    std::vector<std::string> files;
    if (!isPath) {
        std::vector<std::string> folders{programFolder()};
        if (!libraryFolder.empty())
            folders.insert(folders.end(), {libraryFolder, libraryFolder + TEV_BACKEND_FOLDER "/"});
        for (const std::string& folder : folders)
            if (!folder.empty() && std::find(files.begin(), files.end(), folder + fileName) == files.end())
                files.push_back(folder + fileName);
    }
    files.push_back(isPath ? absolutePath(fileName) : fileName); // or the bare name, for the system's loader
    std::string failure;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const bool last = i + 1 == files.size();
        if (filesTried != nullptr)
            filesTried->push_back(files[i]);
        if (!last && ::access(files[i].c_str(), F_OK) != 0)
            continue;
        if (void* handle = ::dlopen(files[i].c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (reason != nullptr)
                reason->clear();
            return handle;
        }
        const char* error = ::dlerror();
        if (failure.empty())
            failure = error != nullptr ? error : "dlopen failed";
    }
    if (reason != nullptr)
        *reason = failure;
    return nullptr;
}

SymbolAddress findSymbol(LibraryHandle library, const char* symbolName) noexcept
{
    if (library == nullptr || symbolName == nullptr)
        return nullptr;
    ::dlerror(); // a null address alone does not tell a failure
    void* address = ::dlsym(library, symbolName);
    SymbolAddress function = nullptr;
    static_assert(sizeof function == sizeof address, "function and data pointers differ in size");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

std::string symbolError()
{
    const char* error = ::dlerror();
    return error != nullptr ? error : "the symbol's address is null";
}

void unloadLibrary(LibraryHandle library) noexcept
{
    if (library != nullptr)
        ::dlclose(library);
}

const char* sharedLibrarySuffix() noexcept
{
    return ".so";
}

} // namespace Tev::Platform
