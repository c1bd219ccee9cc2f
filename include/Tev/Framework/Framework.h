#ifndef TEV_FRAMEWORK_FRAMEWORK_H
#define TEV_FRAMEWORK_FRAMEWORK_H

#include "Tev/Framework/Export.h"
#include "Tev/Framework/Management/PropertyManager.h"

namespace Tev::Framework {

/// Entry points to the process-wide services. Everything useful is static; there is
/// nothing to construct.
///
/// Throws: propertyManager() throws std::bad_alloc if the store cannot be created
/// (the next call tries again); randomNumber() throws only if its lock fails, Boost's
/// lock_error, which a client without Boost catches as std::runtime_error; the
/// assignment throws nothing.
/// Concurrency: randomNumber() may be called from any thread at any time while the
/// library is loaded. The first propertyManager() call is safe against a concurrent
/// first call; the store it returns is not (see PropertyManager).
class TEV_API Framework {
public:
    /// The one property store of the process, created on the first call. Every call
    /// returns the same pointer; the store belongs to the library and is destroyed at
    /// unload, before any other state of the library.
    static Management::PropertyManager* propertyManager();

    /// The next number of the shared pseudo-random sequence, 0 to 65535: the k-th call
    /// in the process (counting from 0) returns the C runtime's k-th rand() value plus
    /// k, modulo 65536. The runtime's generator is seeded once at load with the
    /// milliseconds of the real-time clock. Code that calls srand() or rand() itself
    /// shares that generator.
    static unsigned short randomNumber();

    /// Copies nothing.
    Framework& operator=(const Framework& other) noexcept;
};

} // namespace Tev::Framework

#endif
