#include "BrellMemory/store/Transcript.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "BrellMemory/store/TranscriptError.h"
#include "util/Text.h"

namespace brell::Transcript {
namespace {

// One code point of UTF-8 at `i`, advancing `i`; a byte that does not start a
// well-formed sequence reads as U+FFFD and advances by one. Only the white-space
// tests below need code points, and none of them is U+FFFD.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    // An overlong form (a space spelt in two bytes, say) is not the character it spells.
    constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length]) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return c;
}

// Tab and the Unicode space separators (general category Zs).
bool isHorizontalSpace(char32_t c) {
    return c == '\t' || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Unicode White_Space: the horizontal spaces plus line breaks of every kind.
bool isWhitespace(char32_t c) {
    return isHorizontalSpace(c) || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::string_view trimHorizontal(std::string_view s) {
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t at = i;
        if (!isHorizontalSpace(nextCodePoint(s, i))) {
            begin = std::min(begin, at);
            end = i;
        }
    }
    return begin < end ? s.substr(begin, end - begin) : std::string_view();
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view s, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t at = s.find(separator, start);
        if (at == std::string_view::npos) {
            at = s.size();
        }
        if (at > start) {
            pieces.push_back(s.substr(start, at - start));
        }
        start = at + 1;
    }
    return pieces;
}

std::vector<std::string_view> splitAt(std::string_view s, std::string_view separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at = s.find(separator); at != std::string_view::npos; at = s.find(separator, start)) {
        pieces.push_back(s.substr(start, at - start));
        start = at + separator.size();
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

// A base-10 integer with an optional leading "+" or "-"; nothing for anything else,
// including a value outside the 64-bit range.
std::optional<int64_t> parseInteger(std::string_view s) {
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
            return std::nullopt;
        }
    }
    if (s.empty()) {
        return std::nullopt;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        out.append(text, start, at - start);
        out.append(to);
        start = at + from.size();
    }
    if (start == 0) {
        return;
    }
    out.append(text, start);
    text = std::move(out);
}

// Every match of "<[^>]+>" removed. A match starts at "<" and ends at the first ">"
// after it, which must not follow immediately ("<>" is kept); once no ">" follows,
// nothing later can match either.
std::string removeTags(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '<') {
            std::size_t close = s.find('>', i + 1);
            if (close == std::string_view::npos) {
                break;
            }
            if (close > i + 1) {
                i = close + 1;
                continue;
            }
        }
        out += s[i];
        ++i;
    }
    out.append(s.substr(i));
    return out;
}

std::string collapseWhitespace(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool pendingSpace = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t at = i;
        if (isWhitespace(nextCodePoint(s, i))) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) {
            out += ' ';
            pendingSpace = false;
        }
        out.append(s.substr(at, i - at));
    }
    return out;
}

bool mulAdd(int64_t value, int64_t factor, int64_t addend, int64_t& result) {
    int64_t product = 0;
    return !__builtin_mul_overflow(value, factor, &product) && !__builtin_add_overflow(product, addend, &result);
}

} // namespace

std::optional<int64_t> parseTime(std::string_view text) {
    std::string normalised(trimHorizontal(text));
    for (char& c : normalised) {
        if (c == ',') {
            c = '.';
        }
    }
    auto pieces = splitDroppingEmpty(normalised, ':');
    if (pieces.size() != 2 && pieces.size() != 3) {
        return std::nullopt;
    }
    bool withHours = pieces.size() == 3;
    auto secondParts = splitDroppingEmpty(pieces.back(), '.');
    if (secondParts.empty()) {
        return std::nullopt;
    }
    // A negative field would silently subtract from the others ("01:-05" as 55 s), so
    // every field must be at least zero.
    auto seconds = parseInteger(secondParts[0]);
    if (!seconds || *seconds < 0 || *seconds > 59) {
        return std::nullopt;
    }
    int64_t millis = 0;
    if (secondParts.size() > 1) {
        std::string digits(secondParts[1].substr(0, 3));
        digits.resize(3, '0');
        millis = std::max<int64_t>(0, parseInteger(digits).value_or(0));
    }
    auto minutes = parseInteger(pieces[withHours ? 1 : 0]);
    if (!minutes || *minutes < 0 || (withHours && *minutes >= 60)) {
        return std::nullopt;
    }
    int64_t hours = 0;
    if (withHours) {
        auto h = parseInteger(pieces[0]);
        if (!h || *h < 0) {
            return std::nullopt;
        }
        hours = *h;
    }
    int64_t totalMinutes = 0;
    int64_t totalSeconds = 0;
    int64_t result = 0;
    if (!mulAdd(hours, 60, *minutes, totalMinutes) || !mulAdd(totalMinutes, 60, *seconds, totalSeconds) ||
        !mulAdd(totalSeconds, 1000, millis, result)) {
        return std::nullopt;
    }
    return result;
}

std::string clean(std::string_view text) {
    std::string s = Text::removeControls(text);
    s = removeTags(Text::isValidUTF8(s) ? s : Text::sanitizeUTF8(s));
    // "&amp;" first, so an escaped entity ("&amp;lt;") ends as the character it names.
    replaceAll(s, "&amp;", "&");
    replaceAll(s, "&lt;", "<");
    replaceAll(s, "&gt;", ">");
    replaceAll(s, "&nbsp;", " ");
    replaceAll(s, "&#39;", "'");
    replaceAll(s, "&quot;", "\"");
    return collapseWhitespace(s);
}

std::vector<Cue> parse(std::string_view text) {
    if (text.size() > maxFileBytes) {
        throw TranscriptError::tooLarge();
    }
    // Files saved by Windows editors often begin with a byte-order mark; it belongs to
    // no line and would otherwise make a first timing line unreadable.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    std::string normalised(text);
    replaceAll(normalised, "\r\n", "\n");
    for (char& c : normalised) {
        if (c == '\r') {
            c = '\n';
        }
    }
    std::vector<std::string_view> lines = splitAt(normalised, "\n");

    std::vector<Cue> cues;
    std::size_t i = 0;
    while (i < lines.size()) {
        std::string_view line = trimHorizontal(lines[i]);
        if (line.find("-->") == std::string_view::npos) {
            ++i;
            continue;
        }
        int number = static_cast<int>(i + 1);
        auto times = splitAt(line, "-->");
        if (times.size() != 2) {
            throw TranscriptError::malformedTimestamp(number);
        }
        auto start = parseTime(times[0]);
        if (!start) {
            throw TranscriptError::malformedTimestamp(number);
        }
        // Cue settings ("align:start position:10%") may follow the end time.
        auto end = parseTime(splitAt(trimHorizontal(times[1]), " ").front());
        if (!end || *start >= *end) {
            throw TranscriptError::malformedTimestamp(number);
        }
        if (!cues.empty() && *start < cues.back().startMs) {
            throw TranscriptError::nonMonotonic(number);
        }
        std::string joined;
        ++i;
        for (bool first = true; i < lines.size() && !trimHorizontal(lines[i]).empty(); ++i, first = false) {
            if (!first) {
                joined += ' ';
            }
            joined.append(lines[i]);
        }
        std::string cueText = clean(joined);
        if (cueText.empty() || (!cues.empty() && cueText == cues.back().text)) {
            continue;
        }
        cues.push_back(Cue{*start, *end, std::move(cueText)});
    }
    if (cues.empty()) {
        throw TranscriptError::empty();
    }
    return cues;
}

std::vector<Chunk> chunks(const std::vector<Cue>& cues, int64_t minMs, int64_t maxMs, int64_t maxChars) {
    std::vector<Chunk> out;
    Chunk open;
    int64_t openChars = 0;
    auto start = [&](const Cue& cue) {
        open = Chunk{cue.startMs, cue.endMs, cue.text, {CueStart{0, cue.startMs}}};
        openChars = static_cast<int64_t>(Text::characterCount(cue.text));
    };
    for (std::size_t k = 0; k < cues.size(); ++k) {
        const Cue& cue = cues[k];
        if (k == 0) {
            start(cue);
            continue;
        }
        auto cueChars = static_cast<int64_t>(Text::characterCount(cue.text));
        bool inSpan = cue.startMs - open.startMs < minMs || cue.endMs - open.startMs <= maxMs;
        if (inSpan && openChars + cueChars <= maxChars) {
            open.cues.push_back(CueStart{openChars + 1, cue.startMs});
            open.text += ' ';
            open.text += cue.text;
            open.endMs = cue.endMs;
            // Counted over the joined text: a cue opening with a combining mark merges
            // with the joining space into one character.
            openChars += static_cast<int64_t>(Text::characterCount(" " + cue.text));
            continue;
        }
        out.push_back(std::move(open));
        start(cue);
    }
    if (!cues.empty()) {
        out.push_back(std::move(open));
    }
    return out;
}

std::string locator(int64_t startMs) {
    return "t=" + std::to_string(startMs / 1000);
}

std::string cuesJSON(const std::vector<CueStart>& cues) {
    std::string out = "[";
    for (std::size_t k = 0; k < cues.size(); ++k) {
        out += (k == 0 ? "[" : ",[") + std::to_string(cues[k].offset) + "," + std::to_string(cues[k].startMs) + "]";
    }
    return out + "]";
}

} // namespace brell::Transcript
