#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace Tev::Framework::Exceptions {

static_assert(std::has_virtual_destructor_v<FrameworkException> &&
                  !std::is_base_of_v<std::exception, FrameworkException>,
              "caught by reference as FrameworkException, never as std::exception");

struct FrameworkException::Message {
    std::string text;
};

FrameworkException::FrameworkException(const char* message)
    : message_(new Message{message != nullptr ? std::string(message) : std::string()})
{}

FrameworkException::FrameworkException(const FrameworkException& other) : message_(new Message(*other.message_))
{}

FrameworkException& FrameworkException::operator=(const FrameworkException& other)
{
    std::string copy(other.message_->text);
    message_->text.swap(copy);
    return *this;
}

FrameworkException::~FrameworkException()
{
    delete message_;
}

const char* FrameworkException::message() const noexcept
{
    return message_->text.c_str();
}

} // namespace Tev::Framework::Exceptions
