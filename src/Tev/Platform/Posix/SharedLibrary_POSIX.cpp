#include "Tev/Platform/SharedLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace Tev::Platform {

namespace {

std::string programDirectory()
{
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            return std::string();
        if (static_cast<std::size_t>(length) < path.size()) {
            std::string program(path.data(), static_cast<std::size_t>(length));
            const std::string::size_type slash = program.rfind('/');
            return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
        }
        path.resize(path.size() * 2);
    }
}

void* open(const std::string& path) noexcept
{
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

LibraryHandle loadLibrary(const std::string& fileName)
{
    if (fileName.empty())
        return nullptr;
    if (fileName.find('/') != std::string::npos)
        return open(fileName);
    const std::string directory = programDirectory();
    if (!directory.empty()) {
        const std::string besideProgram = directory + fileName;
        if (::access(besideProgram.c_str(), F_OK) == 0)
            if (void* handle = open(besideProgram))
                return handle;
    }
    return open(fileName);
}

SymbolAddress findSymbol(LibraryHandle library, const char* symbolName) noexcept
{
    if (library == nullptr || symbolName == nullptr)
        return nullptr;
    void* address = ::dlsym(library, symbolName);
    SymbolAddress function = nullptr;
    static_assert(sizeof function == sizeof address, "function and data pointers differ in size");
    std::memcpy(&function, &address, sizeof function);
    return function;
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
