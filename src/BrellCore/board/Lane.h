#pragma once
// One of the board's three lanes. A plain value that converts from its enumerator
// (`Lane lane = Lane::evidence;`), with the lane's fixed texts. The raw value ("links",
// "notes", "evidence") is both its identity and its form in board.json.
//
// Two orders exist: the declared order links, notes, evidence (allLanes(), used by
// every output that walks all lanes) and exportOrder() evidence, notes, links (the
// Markdown brief). Thread-safe; throws nothing.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

class Lane {
public:
    enum Value : uint8_t { links, notes, evidence };

    constexpr Lane(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)

    constexpr Value value() const { return value_; }

    // "links", "notes" or "evidence".
    std::string rawValue() const;
    std::string id() const { return rawValue(); }
    // "Links", "Notes", "Evidence".
    std::string title() const;
    // "←", "↑", "→".
    std::string arrow() const;
    // The one-line description shown with the lane.
    std::string promise() const;

    // Exactly one of the three raw values; nothing for any other text.
    static std::optional<Lane> fromRaw(std::string_view text);

    // links, notes, evidence.
    static const std::array<Lane, 3>& allLanes();
    // evidence, notes, links.
    static const std::array<Lane, 3>& exportOrder();

    constexpr bool operator==(const Lane&) const = default;

private:
    Value value_;
};

} // namespace brell

template <> struct std::hash<brell::Lane> {
    std::size_t operator()(const brell::Lane& lane) const noexcept {
        return std::hash<int>{}(static_cast<int>(lane.value()));
    }
};
