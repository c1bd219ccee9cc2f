#ifndef TEV_FRAMEWORK_GENERICLOGGER_BACKENDLIBRARYERROR_H
#define TEV_FRAMEWORK_GENERICLOGGER_BACKENDLIBRARYERROR_H

#include "Tev/Framework/Export.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Tev::Framework::GenericLogger {

/// Thrown by Logger::loadBackend() and Logger::installBackend(const char*) when a backend
/// library cannot be loaded or does not export `createBackend`. A std::runtime_error whose
/// what() is the text it has always been, "Unable to resolve function createBackend from
/// dynamic library", a line feed and "Expression 'p != 0' failed in
/// 'Tev/Gadgets/DLL/DLLHolder', line: 25"; the rest tells what to fix:
///
///     catch (const BackendLibraryError& error) {
///         error.backendName();  // "console"
///         error.filesTried();   // "/opt/app/bin/console_ru.so", ..., "console_ru.so"
///         error.loaderReason(); // "console_ru.so: cannot open shared object file: ..."
///     }
///
/// Throws: the constructor throws std::bad_alloc; copies, the getters and what() throw
/// nothing. Concurrency: copies share their details, which never change, so any threads
/// may read them at once.
class TEV_API BackendLibraryError : public std::runtime_error {
public:
    BackendLibraryError(const std::string& what, const std::string& backendName, std::vector<std::string> filesTried,
                        std::string loaderReason);
    BackendLibraryError(const BackendLibraryError& other) noexcept;
    BackendLibraryError& operator=(const BackendLibraryError& other) noexcept;
    ~BackendLibraryError() override;

    /// The name given to loadBackend(), e.g. "console".
    const std::string& backendName() const noexcept;

    /// Every file tried, in order: for a bare name, the file in the program's folder, in
    /// the framework library's folder and in its `tevframework` subfolder, then the bare
    /// file name, handed to the system's loader; for a name with a path, that path.
    const std::vector<std::string>& filesTried() const noexcept;

    /// The loader's own text (dlerror(); on Windows, GetLastError()'s message) for the
    /// failure that tells most: a file that exists but would not load, else the last try;
    /// for a library without `createBackend`, the failed look-up.
    const std::string& loaderReason() const noexcept;

private:
    struct Details;
    std::shared_ptr<const Details> details_;
};

} // namespace Tev::Framework::GenericLogger

#endif
