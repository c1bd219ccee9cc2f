#include "Tev/Framework/Counting/CounterRegistry.h"

namespace Tev::Framework::Counting {

CounterRegistry::~CounterRegistry()
{
    for (auto& entry : counters) {
        delete entry.second;
        entry.second = nullptr;
    }
}

} // namespace Tev::Framework::Counting
