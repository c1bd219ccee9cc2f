#ifndef TEV_FRAMEWORK_EXCEPTIONS_FRAMEWORKEXCEPTION_H
#define TEV_FRAMEWORK_EXCEPTIONS_FRAMEWORKEXCEPTION_H

#include "Tev/Framework/Export.h"

namespace Tev::Framework::Exceptions {

/// Base of the framework's own exceptions; carries one message. Not derived from
/// std::exception. Thrown by value, caught by reference.
///
/// Throws: the constructors and the assignment throw std::bad_alloc; message() nothing.
/// Concurrency: exception objects share no state.
class TEV_API FrameworkException {
public:
    /// Copies `message` up to its NUL; a null message is taken as the empty text.
    explicit FrameworkException(const char* message);
    FrameworkException(const FrameworkException& other);
    /// Copies the message into a string of this object's own.
    FrameworkException& operator=(const FrameworkException& other);
    virtual ~FrameworkException();

    /// The message; valid until this object is assigned to or destroyed.
    const char* message() const noexcept;

private:
    struct Message;
    Message* message_;
};

} // namespace Tev::Framework::Exceptions

#endif
