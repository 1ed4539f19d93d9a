#pragma once
// A 128-bit universally unique identifier, the identity of every card and capture on
// the board. A plain value: ordered, hashable, compared byte by byte. Its text form is
// the canonical 8-4-4-4-12 hexadecimal one, written in upper case and read in either
// case. random() draws version-4 identifiers from the system's random source.
// Thread-safe; throws nothing.
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

class UUID {
public:
    // The nil identifier, all zero.
    UUID() = default;
    explicit UUID(const std::array<uint8_t, 16>& bytes) : bytes_(bytes) {}

    // A new random (version 4, RFC 4122 variant) identifier.
    static UUID random();

    // Reads the canonical form ("3F2504E0-4F89-11D3-9A0C-0305E82C3301"), hexadecimal
    // digits in either case; nothing for any other text.
    static std::optional<UUID> parse(std::string_view text);

    // The canonical form in upper case.
    std::string text() const;

    const std::array<uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const UUID&) const = default;

private:
    std::array<uint8_t, 16> bytes_{};
};

} // namespace brell

template <> struct std::hash<brell::UUID> { std::size_t operator()(const brell::UUID& id) const noexcept; };
