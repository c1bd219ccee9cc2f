#ifndef TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_ALLOCATION_H
#define TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_ALLOCATION_H

#include "Tev/Framework/Export.h"

#include <cstddef>

namespace Tev::Framework::Management::MemoryManager {

/// malloc, realloc and free of the library's own heap, nothing more: failure gives
/// null, reallocate(nullptr, n) allocates, deallocate(nullptr) does nothing. Memory
/// from allocate() or reallocate() goes back only through reallocate() or deallocate().
///
/// Throws: nothing.
/// Concurrency: as thread-safe as the C runtime's heap; no lock of their own.
TEV_API void* allocate(std::size_t size) noexcept;
TEV_API void* reallocate(void* pointer, std::size_t size) noexcept;
TEV_API void deallocate(void* pointer) noexcept;

} // namespace Tev::Framework::Management::MemoryManager

#endif
