#include "Tev/Platform/RuntimeRandom.h"

#include <cstdint>
#include <cstdlib>

namespace Tev::Platform {

namespace {

void* encode(std::uint64_t passed) noexcept
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(passed + 1));
}

} // namespace

static_assert(sizeof(void*) >= sizeof(std::uint64_t), "a position must fit a slot");

RuntimeRandom::RuntimeRandom(unsigned seed) : seed_(seed), position_(nullptr)
{
    std::srand(seed);
    position_.set(encode(0));
}

RuntimeRandom::~RuntimeRandom() = default;

int RuntimeRandom::next()
{
    void* const stored = position_.get();
    // Stored first: if that fails, this thread's generator has not moved.
    position_.set(encode(drawn_ + 1));
    std::uint64_t passed = 0;
    if (stored == nullptr)
        std::srand(seed_);
    else
        passed = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(stored)) - 1;
    // Values that other threads drew since this thread's last draw.
    for (; passed < drawn_; ++passed)
        static_cast<void>(std::rand());
    ++drawn_;
    return std::rand();
}

} // namespace Tev::Platform
