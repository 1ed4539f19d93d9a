#pragma once
// The modifier keys held with a shortcut, as the classic macOS modifier masks: a set of
// flags over an unsigned 32-bit raw value, stored and read as that number. Bits outside
// `all` are never kept. A plain value; thread-safe; throws nothing.
#include <cstdint>
#include <string>
#include <vector>

namespace brell {

class KeyModifiers {
public:
    static constexpr uint32_t controlMask = 0x1000;
    static constexpr uint32_t optionMask = 0x800;
    static constexpr uint32_t shiftMask = 0x200;
    static constexpr uint32_t commandMask = 0x100;
    static constexpr uint32_t allMask = controlMask | optionMask | shiftMask | commandMask;

    constexpr KeyModifiers() = default;
    // Keeps only the bits of `all`.
    constexpr explicit KeyModifiers(uint32_t raw) : raw_(raw & allMask) {}

    static constexpr KeyModifiers control() { return KeyModifiers(controlMask); }
    static constexpr KeyModifiers option() { return KeyModifiers(optionMask); }
    static constexpr KeyModifiers shift() { return KeyModifiers(shiftMask); }
    static constexpr KeyModifiers command() { return KeyModifiers(commandMask); }
    static constexpr KeyModifiers all() { return KeyModifiers(allMask); }

    constexpr uint32_t rawValue() const { return raw_; }
    constexpr bool empty() const { return raw_ == 0; }
    constexpr bool contains(KeyModifiers other) const { return (raw_ & other.raw_) == other.raw_; }
    constexpr bool containsAny(KeyModifiers other) const { return (raw_ & other.raw_) != 0; }

    constexpr KeyModifiers operator|(KeyModifiers other) const { return KeyModifiers(raw_ | other.raw_); }
    constexpr KeyModifiers& operator|=(KeyModifiers other) {
        raw_ |= other.raw_;
        return *this;
    }

    // The symbols of the members present, always in the order ⌃⌥⇧⌘.
    std::string symbols() const;
    // "Control", "Option", "Shift", "Command" for the members present, in that order.
    std::vector<std::string> words() const;

    constexpr bool operator==(const KeyModifiers&) const = default;

private:
    uint32_t raw_ = 0;
};

} // namespace brell
