#pragma once
// Combining the hashes of a value's fields, for the board's value types, whose hashes
// cover every field. Header-only; thread-safe.
#include <cstddef>
#include <functional>
#include <optional>

namespace brell::Hashing {

template <typename T> void combine(std::size_t& seed, const T& value) {
    seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// An absent value hashes differently from every present one it could be confused with.
template <typename T> void combine(std::size_t& seed, const std::optional<T>& value) {
    combine(seed, value.has_value());
    if (value) {
        combine(seed, *value);
    }
}

} // namespace brell::Hashing
