#include "Tev/Framework/StringHolder.h"

namespace Tev::Framework {

// If a string's constructor throws, the new-expression frees its memory: a failed
// constructor leaves nothing behind.

StringHolder::StringHolder() : text_(new std::string())
{}

StringHolder::StringHolder(const char* text) : text_(text != nullptr ? new std::string(text) : new std::string())
{}

StringHolder::StringHolder(const StringHolder& other) : text_(new std::string(*other.text_))
{}

const StringHolder& StringHolder::operator=(const StringHolder& other)
{
    // Keeps its own string object; assign() is all-or-nothing.
    if (this != &other) {
        text_->assign(*other.text_);
    }
    return *this;
}

const StringHolder& StringHolder::operator+=(const StringHolder& other)
{
    // append() copes with its source being this very string.
    text_->append(*other.text_);
    return *this;
}

StringHolder::~StringHolder()
{
    delete text_;
}

const char* StringHolder::c_str() const noexcept
{
    return text_->c_str();
}

} // namespace Tev::Framework
