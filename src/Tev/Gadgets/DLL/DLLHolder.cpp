#include "Tev/Gadgets/DLL/DLLHolder.h"

#include "Tev/Platform/SharedLibrary.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace Tev::Gadgets::DLL {

namespace {
// The line that the resolve error reports for its failed check.
constexpr int resolveCheckLine = 25;
} // namespace

DLLHolder::DLLHolder(const char* fileName)
    : handle_(fileName != nullptr ? Platform::loadLibrary(std::string(fileName)) : nullptr)
{}

DLLHolder::DLLHolder(const char* fileName, DLLLoadReport& report)
    : handle_(fileName != nullptr ? Platform::loadLibrary(std::string(fileName), &report.filesTried, &report.reason)
                                  : nullptr)
{}

DLLHolder::~DLLHolder()
{
    Platform::unloadLibrary(handle_);
}

DLLHolder::DLLHolder(DLLHolder&& other) noexcept : handle_(std::exchange(other.handle_, nullptr))
{}

DLLHolder& DLLHolder::operator=(DLLHolder&& other) noexcept
{
    if (this != &other) {
        Platform::unloadLibrary(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool DLLHolder::isLoaded() const noexcept
{
    return handle_ != nullptr;
}

bool DLLHolder::holdsSameLibraryAs(const DLLHolder& other) const noexcept
{
    return handle_ != nullptr && handle_ == other.handle_;
}

DLLHolder::Address DLLHolder::resolveAddress(const char* name) const
{
    return resolveAddress(name, nullptr);
}

DLLHolder::Address DLLHolder::resolveAddress(const char* name, DLLLoadReport* report) const
{
    const Address p = Platform::findSymbol(handle_, name);
    if (p == nullptr) {
        if (report != nullptr && handle_ != nullptr && name != nullptr)
            report->reason = Platform::symbolError();
        std::string text("Unable to resolve function ");
        text += name != nullptr ? name : "";
        text += " from dynamic library\nExpression 'p != 0' failed in 'Tev/Gadgets/DLL/DLLHolder', line: ";
        text += std::to_string(resolveCheckLine);
        throw std::runtime_error(text);
    }
    return p;
}

} // namespace Tev::Gadgets::DLL
