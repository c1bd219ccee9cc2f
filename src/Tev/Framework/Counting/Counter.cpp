#include "Tev/Framework/Counting/Counter.h"

#include "Tev/Framework/Counting/CounterRegistry.h"
#include "Tev/Framework/LibraryState.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Tev::Framework::Counting {

Counter& Counter::counter(const char* name)
{
    if (name == nullptr) {
        throw std::invalid_argument("Counter::counter: the counter name is null");
    }
    const std::string_view key(name);
    auto& counters = counterRegistry().counters;
    const auto found = findName(counters, key);
    if (found != counters.end()) {
        return *found->second;
    }
    // If entering it fails, the new counter goes again and the registry is unchanged.
    std::unique_ptr<Counter> fresh(new Counter());
    counters.emplace(std::string(key), fresh.get());
    return *fresh.release();
}

int Counter::next() noexcept
{
    const int current = value_;
    // In unsigned arithmetic, so 2147483647 wraps to -2147483648 without overflow.
    value_ = static_cast<int>(static_cast<unsigned>(current) + 1u);
    return current;
}

void Counter::reset() noexcept
{
    value_ = 0;
}

Counter& Counter::operator=(const Counter& other) noexcept
{
    value_ = other.value_;
    return *this;
}

} // namespace Tev::Framework::Counting
