#include "Tev/Platform/TypeName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace Tev::Platform {

// g++ and MinGW both follow the Itanium C++ ABI, so one source serves both.
std::string readableTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    if (status == 0 && demangled)
        return std::string(demangled.get());
    return std::string(type.name());
}

} // namespace Tev::Platform
