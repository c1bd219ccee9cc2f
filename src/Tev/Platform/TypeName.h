#ifndef TEV_PLATFORM_TYPENAME_H
#define TEV_PLATFORM_TYPENAME_H

#include <string>
#include <typeinfo>

namespace Tev::Platform {

// The type's name as written in source, "Tev::Framework::GenericLogger::Logger";
// the compiler's raw name when it cannot be demangled. Throws std::bad_alloc.
std::string readableTypeName(const std::type_info& type);

} // namespace Tev::Platform

#endif
