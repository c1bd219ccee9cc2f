#ifndef TEV_GADGETS_DLL_DLLHOLDER_H
#define TEV_GADGETS_DLL_DLLHOLDER_H

#include "Tev/Framework/Export.h"

#include <string>
#include <vector>

namespace Tev::Gadgets::DLL {

/// What loading a library tried and, when it failed, why: filled in by DLLHolder's
/// constructor and by resolveFunction when they are given one.
struct DLLLoadReport {
    /// Every file tried, in order; for a bare name the last is that name, handed to the
    /// system's loader.
    std::vector<std::string> filesTried;
    /// The loader's own text (dlerror(); on Windows, GetLastError()'s message) for the
    /// failure that tells most: a file that exists but would not load, else the last try;
    /// for a library that lacks a function, the failed look-up. Empty when all went well.
    std::string reason;
};

/// Owns one loaded dynamic library and unloads it when destroyed.
///
/// The constructor never reports a failed load: the holder then has no library,
/// and every resolveFunction call throws. Not copyable; movable.
/// Concurrency: distinct holders may be used from any threads; resolveFunction may
/// run concurrently on one holder, construction and destruction may not.
class TEV_API DLLHolder {
public:
    /// Loads `fileName`. A name containing '/' (or '\' on Windows) is a path, a relative
    /// one taken from the working directory on every system. A bare file name is looked
    /// for in the running program's folder, then in the framework library's folder and in
    /// its `tevframework` subfolder, then where the system's loader looks. Throws
    /// std::bad_alloc.
    explicit DLLHolder(const char* fileName);
    /// The same, and records in `report` the files tried and why none loaded.
    DLLHolder(const char* fileName, DLLLoadReport& report);
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

    /// The same; when the library is loaded but lacks `name`, the loader's text goes to
    /// `report.reason` before the throw.
    template <typename Function>
    Function resolveFunction(const char* name, DLLLoadReport& report) const
    {
        return reinterpret_cast<Function>(resolveAddress(name, &report));
    }

private:
    using Address = void (*)();
    Address resolveAddress(const char* name) const;
    Address resolveAddress(const char* name, DLLLoadReport* report) const;

    void* handle_;
};

} // namespace Tev::Gadgets::DLL

#endif
