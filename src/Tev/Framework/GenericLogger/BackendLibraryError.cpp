#include "Tev/Framework/GenericLogger/BackendLibraryError.h"

#include <utility>

namespace Tev::Framework::GenericLogger {

struct BackendLibraryError::Details {
    std::string backendName;
    std::vector<std::string> filesTried;
    std::string loaderReason;
};

BackendLibraryError::BackendLibraryError(const std::string& what, const std::string& backendName,
                                         std::vector<std::string> filesTried, std::string loaderReason)
    : std::runtime_error(what),
      details_(std::make_shared<const Details>(Details{backendName, std::move(filesTried), std::move(loaderReason)}))
{}

BackendLibraryError::BackendLibraryError(const BackendLibraryError& other) noexcept = default;

BackendLibraryError& BackendLibraryError::operator=(const BackendLibraryError& other) noexcept = default;

BackendLibraryError::~BackendLibraryError() = default;

const std::string& BackendLibraryError::backendName() const noexcept
{
    return details_->backendName;
}

const std::vector<std::string>& BackendLibraryError::filesTried() const noexcept
{
    return details_->filesTried;
}

const std::string& BackendLibraryError::loaderReason() const noexcept
{
    return details_->loaderReason;
}

} // namespace Tev::Framework::GenericLogger
