#include "brell/TextOutput.h"

#include <ostream>

#include "util/Text.h"

namespace brell::TextOutput {

namespace {

constexpr unsigned char kEsc = 0x1B;

// Where a control string (OSC, DCS, SOS, PM, APC) that starts at `i` ends.
std::size_t skipString(std::string_view text, std::size_t i) {
    // A control string ends at BEL, at ST (ESC \ or U+009C), or at the end of the text.
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == 0x07) {
            return i + 1;
        }
        if (c == kEsc) {
            return i + 1 < text.size() && text[i + 1] == '\\' ? i + 2 : i + 1;
        }
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x9C) {
            return i + 2;
        }
        ++i;
    }
    return i;
}

std::size_t skipCSI(std::string_view text, std::size_t i) {
    // Parameter bytes (0-9:;<=>?) and intermediate bytes (space to /), then one final
    // byte in @ to ~. A sequence broken by anything else ends where it breaks.
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x40 && c <= 0x7E) {
            return i + 1;
        }
        if (c < 0x20 || c > 0x3F) {
            return i;
        }
        ++i;
    }
    return i;
}

// `kind` is the character naming the sequence: '[' for CSI, ']' OSC, 'P' DCS, 'X' SOS,
// '^' PM, '_' APC; anything else is a two-character escape.
std::size_t skipSequence(std::string_view text, char kind, std::size_t after) {
    switch (kind) {
    case '[':
        return skipCSI(text, after);
    case ']':
    case 'P':
    case 'X':
    case '^':
    case '_':
        return skipString(text, after);
    default:
        return after;
    }
}

} // namespace

std::string printable(std::string_view text, bool keepLineFeeds) {
    const std::string clean = Text::sanitizeUTF8(text);
    const std::string_view s = clean;
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == kEsc) {
            if (i + 1 >= s.size()) {
                break;
            }
            i = skipSequence(s, s[i + 1], i + 2);
            continue;
        }
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            // C1 controls, U+0080 to U+009F; CSI, OSC, DCS, SOS, PM and APC open sequences.
            switch (static_cast<unsigned char>(s[i + 1])) {
            case 0x9B:
                i = skipCSI(s, i + 2);
                continue;
            case 0x9D:
            case 0x90:
            case 0x98:
            case 0x9E:
            case 0x9F:
                i = skipString(s, i + 2);
                continue;
            default:
                out += ' ';
                i += 2;
                continue;
            }
        }
        if (c == '\n' && keepLineFeeds) {
            out += '\n';
        } else if (c < 0x20 || c == 0x7F) {
            out += ' ';
        } else {
            out += s[i];
        }
        ++i;
    }
    return out;
}

void printJson(std::ostream& out, const Json& value) {
    out << value.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

void printJson(std::ostream& out, const OrderedJson& value) {
    out << value.dump(2, ' ', false, OrderedJson::error_handler_t::replace) << "\n";
}

std::string oneLine(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        out += c;
    }
    return out;
}

} // namespace brell::TextOutput
