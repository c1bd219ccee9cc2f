#ifndef TEV_GADGETS_DLL_DLLHOLDER_H
#define TEV_GADGETS_DLL_DLLHOLDER_H

#include "Tev/Framework/Export.h"

namespace Tev::Gadgets::DLL {

/// Owns one loaded dynamic library and unloads it when destroyed.
///
/// The constructor never reports a failed load: the holder then has no library,
/// and every resolveFunction call throws. Not copyable; movable.
/// Concurrency: distinct holders may be used from any threads; resolveFunction may
/// run concurrently on one holder, construction and destruction may not.
class TEV_API DLLHolder {
public:
    /// Loads `fileName`. A name containing '/' is a path; a bare file name is looked
    /// for in the running program's directory first, then where the system's loader
    /// looks. Throws std::bad_alloc.
    explicit DLLHolder(const char* fileName);
    ~DLLHolder();

    DLLHolder(DLLHolder&& other) noexcept;
    DLLHolder& operator=(DLLHolder&& other) noexcept;
    DLLHolder(const DLLHolder&) = delete;
    DLLHolder& operator=(const DLLHolder&) = delete;

    /// Whether the library was loaded.
    bool isLoaded() const noexcept;

    /// Whether both holders hold the same loaded library (the system counts its loads).
    bool holdsSameLibraryAs(const DLLHolder& other) const noexcept;

    /// The exported function `name` as a `Function` pointer. Throws std::runtime_error
    /// "Unable to resolve function <name> from dynamic library" followed by a line
    /// feed and the failed check, when the library lacks `name` or was not loaded.
    template <typename Function>
    Function resolveFunction(const char* name) const
    {
        return reinterpret_cast<Function>(resolveAddress(name));
    }

private:
    using Address = void (*)();
    Address resolveAddress(const char* name) const;

    void* handle_;
};

} // namespace Tev::Gadgets::DLL

#endif
