#ifndef TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_REGISTRY_H
#define TEV_FRAMEWORK_MANAGEMENT_MEMORYMANAGER_REGISTRY_H

#include "Tev/Framework/Export.h"
#include "Tev/Framework/Management/MemoryManager/IRegisteredObject.h"

/// \file
/// The process-wide registry of named, reference-counted objects.
///
/// Every registerObject() of a name counts one reference and every unregisterObject()
/// releases one; releasing the last destroys the object (delete, with the registry's
/// lock held) and forgets the name. Names are NUL-terminated byte strings compared
/// exactly (case matters); the empty name is a name. The registry keeps copies of
/// names, never the caller's buffer. Objects still registered when the library is
/// unloaded are not destroyed.
///
/// A factory that returns null: the name is registered with no object, and counts
/// references like any other name. findObject() answers null for it, as for a missing
/// name; later registerObject() calls return null and add a reference without calling
/// their factory; the last unregisterObject() forgets the name and destroys nothing.
///
/// Throws:
/// - std::invalid_argument for a null name, and for a null factory given for a name
///   that is not registered; nothing changes.
/// - whatever the factory throws, unchanged; the name stays unregistered.
/// - std::bad_alloc, with the registry as it was. All memory a new name needs is taken
///   before its factory runs, so once a factory has returned its object is always
///   entered: it can never be left over.
/// - std::overflow_error if a name already holds 2147483647 references.
/// - Boost's lock_error if the lock itself fails; a client without Boost catches it as
///   std::runtime_error.
/// findObject() and unregisterObject() throw nothing else for any non-null name.
///
/// Concurrency: any thread may call these at any time; they are serialised by one
/// non-recursive lock, which stays held while a factory runs and while an object is
/// destroyed. A factory or a registered object's destructor must therefore not call
/// any of them (it would deadlock). The objects themselves are not locked, and the
/// pointer from findObject() holds no reference: an object stays alive only while its
/// user holds a reference of its own.

namespace Tev::Framework::Management::MemoryManager {

/// Adds one reference to `name` and returns its object, creating it with `factory`
/// (called once, with the lock held) if the name is not registered.
TEV_API IRegisteredObject* registerObject(const char* name, IRegisteredObject* (*factory)());

/// The object registered under `name`, or null. Adds no reference.
TEV_API IRegisteredObject* findObject(const char* name);

/// Releases one reference to `name`. A name that is not registered is ignored.
TEV_API void unregisterObject(const char* name);

} // namespace Tev::Framework::Management::MemoryManager

#endif
