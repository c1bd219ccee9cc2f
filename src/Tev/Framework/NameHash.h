#ifndef TEV_FRAMEWORK_NAMEHASH_H
#define TEV_FRAMEWORK_NAMEHASH_H

#include <boost/unordered_map.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace Tev::Framework {

// A hash of a name (a logger's, a counter's, a registered object's), eight bytes at a
// step: names are short, and the standard library's byte hash costs more than the rest
// of a look-up.
struct NameHash {
    std::size_t operator()(std::string_view name) const noexcept
    {
        const char* bytes = name.data();
        const std::size_t size = name.size();
        std::uint64_t hash = 0x9E3779B97F4A7C15u ^ size;
        const auto mix = [&hash](std::uint64_t word) {
            hash = (hash ^ word) * 0xFF51AFD7ED558CCDu;
            hash ^= hash >> 32;
        };
        std::uint64_t word = 0;
        if (size >= 8) {
            // Whole words, the last one overlapping the one before if need be.
            for (std::size_t at = 0; at + 8 < size; at += 8) {
                std::memcpy(&word, bytes + at, 8);
                mix(word);
            }
            std::memcpy(&word, bytes + size - 8, 8);
        } else {
            for (std::size_t i = 0; i < size; ++i)
                word |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
        }
        mix(word);
        hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53u;
        return static_cast<std::size_t>(hash ^ (hash >> 33));
    }
};

// A map from names, whose look-ups by findName() take a view of the name, not a copy.
template <typename Value>
using NameMap = boost::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

template <typename Value>
typename NameMap<Value>::iterator findName(NameMap<Value>& map, std::string_view name)
{
    return map.find(name, NameHash{}, std::equal_to<>{});
}

} // namespace Tev::Framework

#endif
