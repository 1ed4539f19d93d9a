#pragma once
// What a capture holds: a quote (a passage of selected text) or a url (a page or a
// link). The raw values "quote" and "url" are its form in board.json. Thread-safe;
// throws nothing.
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class CaptureKind { quote, url };

std::string rawValue(CaptureKind kind);
// Exactly "quote" or "url"; nothing for any other text.
std::optional<CaptureKind> captureKindFromRaw(std::string_view text);

} // namespace brell
