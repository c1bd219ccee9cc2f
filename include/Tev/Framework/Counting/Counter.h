#ifndef TEV_FRAMEWORK_COUNTING_COUNTER_H
#define TEV_FRAMEWORK_COUNTING_COUNTER_H

#include "Tev/Framework/Export.h"

namespace Tev::Framework::Counting {

/// Process-wide integer counters found by name. The same name gives the same
/// counter anywhere in the process; a counter's sequence starts at 0. Counters live
/// until the library is unloaded; references to them stay valid until then.
///
/// Throws: counter() throws std::invalid_argument for a null name and std::bad_alloc
/// when a new counter cannot be entered; either way no counter is entered. next(),
/// reset() and operator= throw nothing.
/// Concurrency: no locks. A counter() call that may create a counter must not overlap
/// any other counter() call; counter() calls for names that all exist already may run
/// at once. Calls on one counter (next, reset, operator=, as either side) must not
/// overlap.
class Counter {
public:
    /// The counter named `name` (bytes up to the NUL, compared exactly; the empty name
    /// is a name), created at 0 on first use.
    TEV_API static Counter& counter(const char* name);

    /// Returns the value, then adds one. 2147483647 is followed by -2147483648.
    TEV_API int next() noexcept;

    /// Back to 0.
    TEV_API void reset() noexcept;

    /// Takes `other`'s value; this counter keeps its name.
    TEV_API Counter& operator=(const Counter& other) noexcept;

    /// Counters are made only by counter().
    Counter(const Counter&) = delete;

private:
    Counter() noexcept = default;

    int value_ = 0;
};

} // namespace Tev::Framework::Counting

#endif
