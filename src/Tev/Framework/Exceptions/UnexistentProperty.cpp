#include "Tev/Framework/Exceptions/UnexistentProperty.h"

namespace Tev::Framework::Exceptions {

UnexistentProperty::UnexistentProperty(const char* message) : FrameworkException(message)
{}

UnexistentProperty::UnexistentProperty(const UnexistentProperty& other) = default;

UnexistentProperty& UnexistentProperty::operator=(const UnexistentProperty& other) = default;

UnexistentProperty::~UnexistentProperty() = default;

} // namespace Tev::Framework::Exceptions
