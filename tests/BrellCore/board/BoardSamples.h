#pragma once
// Sample board values for the board's tests: one of each kind of card, with fixed ids
// and dates so files can be compared byte for byte.
#include <optional>
#include <string>

#include "BrellCore/board/Card.h"

namespace brell::test {

// 2025-03-01T09:05:07Z.
inline constexpr Date march1 = 1740819907.0;

inline UUID sampleID(int n) {
    std::array<uint8_t, 16> bytes{};
    bytes[0] = 0xA0;
    bytes[15] = static_cast<uint8_t>(n);
    return UUID(bytes);
}

inline SourceRef pageSource(const std::string& title = "Field Notes",
                            const std::string& url = "https://example.org/a/b") {
    return SourceRef{title, url, "Safari", std::string("com.apple.Safari"), false};
}

inline Capture quoteCapture(const std::string& text, Date at = march1, SourceRef source = pageSource()) {
    return Capture(sampleID(100), CaptureKind::quote, text, std::nullopt, std::nullopt, std::move(source), at);
}

inline Capture linkCapture(const std::string& target, std::optional<std::string> title = std::nullopt, Date at = march1,
                           SourceRef source = pageSource()) {
    return Capture(sampleID(101), CaptureKind::url, std::nullopt, target, std::move(title), std::move(source), at);
}

inline Card cardOf(Capture capture, Lane lane, int id = 1, std::optional<Note> note = std::nullopt,
                   std::optional<bool> hidden = std::nullopt) {
    Date updated = capture.capturedAt;
    return Card(std::move(capture), lane, std::move(note), sampleID(id), updated, hidden);
}

} // namespace brell::test
