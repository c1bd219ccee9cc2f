#include "Tev/Framework/Management/MemoryManager/Allocation.h"

#include <cstdlib>

namespace Tev::Framework::Management::MemoryManager {

void* allocate(std::size_t size) noexcept
{
    return std::malloc(size);
}

void* reallocate(void* pointer, std::size_t size) noexcept
{
    return std::realloc(pointer, size);
}

void deallocate(void* pointer) noexcept
{
    std::free(pointer);
}

} // namespace Tev::Framework::Management::MemoryManager
