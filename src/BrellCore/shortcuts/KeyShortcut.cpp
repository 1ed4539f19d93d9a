#include "BrellCore/shortcuts/KeyShortcut.h"

#include <charconv>
#include <limits>

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell {
namespace {

// Decimal digits only (no sign, no spaces), within 32 bits.
std::optional<uint32_t> unsignedDecimal(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint32_t> unsigned32(const Json& value) {
    auto n = JsonText::integer(value);
    if (!n || *n < 0 || *n > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(*n);
}

} // namespace

std::optional<KeyShortcut> KeyShortcut::fromStorageString(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t colon = text.find(':', start);
        std::size_t stop = colon == std::string_view::npos ? text.size() : colon;
        if (stop > start) {
            pieces.push_back(text.substr(start, stop - start));
        }
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    if (pieces.size() != 2) {
        return std::nullopt;
    }
    auto code = unsignedDecimal(pieces[0]);
    auto raw = unsignedDecimal(pieces[1]);
    if (!code || !raw || !KeyCode::label(*code)) {
        return std::nullopt;
    }
    return KeyShortcut(*code, KeyModifiers(*raw));
}

std::string KeyShortcut::keyLabel() const {
    return KeyCode::label(keyCode).value_or("Key " + std::to_string(keyCode));
}

std::string KeyShortcut::display() const {
    return modifiers.symbols() + keyLabel();
}

std::vector<std::string> KeyShortcut::keycaps() const {
    std::vector<std::string> caps;
    std::string symbols = modifiers.symbols();
    // Every modifier symbol is one three-byte UTF-8 sequence.
    for (std::size_t i = 0; i + 3 <= symbols.size(); i += 3) {
        caps.push_back(symbols.substr(i, 3));
    }
    caps.push_back(keyLabel());
    return caps;
}

std::string KeyShortcut::spoken() const {
    std::string out;
    for (const auto& word : modifiers.words()) {
        out += word + " ";
    }
    return out + keyLabel();
}

std::string KeyShortcut::storageString() const {
    return std::to_string(keyCode) + ":" + std::to_string(modifiers.rawValue());
}

Json KeyShortcut::json() const {
    return {{"keyCode", keyCode}, {"modifiers", modifiers.rawValue()}};
}

std::optional<KeyShortcut> KeyShortcut::fromJson(const Json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    auto code = unsigned32(JsonText::member(value, "keyCode"));
    auto raw = unsigned32(JsonText::member(value, "modifiers"));
    if (!code || !raw) {
        return std::nullopt;
    }
    return KeyShortcut(*code, KeyModifiers(*raw));
}

} // namespace brell
