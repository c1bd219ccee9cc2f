#ifndef TEV_FRAMEWORK_COUNTING_COUNTERREGISTRY_H
#define TEV_FRAMEWORK_COUNTING_COUNTERREGISTRY_H

namespace Tev::Framework::Counting {

// Placeholder until the named counters land.
struct CounterRegistry {
};

} // namespace Tev::Framework::Counting

#endif
