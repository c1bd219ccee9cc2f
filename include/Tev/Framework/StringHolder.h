#ifndef TEV_FRAMEWORK_STRINGHOLDER_H
#define TEV_FRAMEWORK_STRINGHOLDER_H

#include "Tev/Framework/Export.h"

#include <string>

namespace Tev::Framework {

/// A narrow string whose characters are always allocated, grown and freed inside the
/// library, so it can cross the library boundary. Bytes, no encoding; never holds a
/// NUL byte. Each holder owns its own string; copies share nothing.
///
/// Throws: the constructors, operator= and operator+= throw std::bad_alloc, and then
/// change nothing and leak nothing; c_str() and the destructor throw nothing.
/// Concurrency: one holder may be read (c_str(), or as the source of a copy, an
/// assignment or an append) from several threads at once; a holder being modified or
/// destroyed must not be used by any other thread meanwhile.
class StringHolder {
public:
    /// Empty.
    TEV_API StringHolder();
    /// The bytes of `text` up to its first NUL. A null `text` gives an empty holder.
    TEV_API StringHolder(const char* text);
    TEV_API StringHolder(const StringHolder& other);
    /// Self-assignment leaves the content as it is. Earlier c_str() pointers of this
    /// holder may be invalidated.
    TEV_API const StringHolder& operator=(const StringHolder& other);
    /// Appends the whole of `other`; appending a holder to itself doubles it. Earlier
    /// c_str() pointers of this holder may be invalidated.
    TEV_API const StringHolder& operator+=(const StringHolder& other);
    TEV_API ~StringHolder();

    /// The content followed by a NUL; never null. Valid until this holder is next
    /// assigned, appended to or destroyed.
    TEV_API const char* c_str() const noexcept;

private:
    std::string* text_;
};

} // namespace Tev::Framework

#endif
