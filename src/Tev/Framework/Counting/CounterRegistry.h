#ifndef TEV_FRAMEWORK_COUNTING_COUNTERREGISTRY_H
#define TEV_FRAMEWORK_COUNTING_COUNTERREGISTRY_H

#include "Tev/Framework/Counting/Counter.h"
#include "Tev/Framework/NameHash.h"

namespace Tev::Framework::Counting {

// Every named counter of the process. Entries are only ever added.
struct CounterRegistry {
    CounterRegistry() = default;
    // Deletes every counter first, then the entries.
    ~CounterRegistry();

    CounterRegistry(const CounterRegistry&) = delete;
    CounterRegistry& operator=(const CounterRegistry&) = delete;

    // Owns the counters.
    NameMap<Counter*> counters;
};

} // namespace Tev::Framework::Counting

#endif
