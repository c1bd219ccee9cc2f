#ifndef TEV_FRAMEWORK_EXCEPTIONS_UNEXISTENTPROPERTY_H
#define TEV_FRAMEWORK_EXCEPTIONS_UNEXISTENTPROPERTY_H

#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Framework/Export.h"

namespace Tev::Framework::Exceptions {

/// Thrown by the property store when a property to be read or cleared does not exist.
/// Catch it as UnexistentProperty or as FrameworkException; it is not a std::exception.
///
/// Throws: the constructors and the assignment throw std::bad_alloc.
/// Concurrency: exception objects share no state.
class TEV_API UnexistentProperty : public FrameworkException {
public:
    /// Copies `message` up to its NUL; a null message is taken as the empty text.
    explicit UnexistentProperty(const char* message);
    UnexistentProperty(const UnexistentProperty& other);
    UnexistentProperty& operator=(const UnexistentProperty& other);
    ~UnexistentProperty() override;
};

} // namespace Tev::Framework::Exceptions

#endif
