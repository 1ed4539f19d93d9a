#include "BrellCore/board/MarkdownExport.h"

#include <algorithm>
#include <array>

#include "addresses/TextFragment.h"
#include "addresses/URLSafety.h"
#include "util/Regex.h"
#include "util/Text.h"

namespace brell::MarkdownExport {
namespace {

// One code point of well-formed UTF-8 at `offset`, which moves past it.
char32_t next(std::string_view text, std::size_t& offset) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(offset);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < length; ++i) {
        c = (c << 6) | (byte(offset + i) & 0x3F);
    }
    offset += length;
    return c;
}

std::string wellFormed(std::string_view text) {
    return Text::isValidUTF8(text) ? std::string(text) : Text::sanitizeUTF8(text);
}

// The Unicode White_Space property.
bool isWhiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Line feed, vertical tab, form feed, carriage return, next line, line and paragraph
// separators.
bool isNewline(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Tab and the space separators (general category Zs).
bool isSpace(char32_t c) {
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The pieces of `text` between code points for which `separates` holds, empty pieces kept.
template <class Predicate> std::vector<std::string> splitAt(const std::string& text, Predicate separates) {
    std::vector<std::string> pieces(1);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t start = i;
        char32_t c = next(text, i);
        if (separates(c)) {
            pieces.emplace_back();
        } else {
            pieces.back().append(text, start, i - start);
        }
    }
    return pieces;
}

std::string trimSpaces(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool seen = false;
    std::size_t i = 0;
    while (i < line.size()) {
        std::size_t start = i;
        char32_t c = next(line, i);
        if (!isSpace(c)) {
            if (!seen) {
                begin = start;
                seen = true;
            }
            end = i;
        }
    }
    return seen ? line.substr(begin, end - begin) : "";
}

bool isNumeric(std::string_view character) {
    static const Regex numeric("[^\\p{Numeric_Type=None}]");
    return numeric.matches(character);
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

} // namespace

std::string collapse(std::string_view text) {
    std::string out;
    for (const std::string& piece : splitAt(wellFormed(text), isWhiteSpace)) {
        if (!piece.empty()) {
            out += out.empty() ? piece : " " + piece;
        }
    }
    return out;
}

std::string escapeInline(std::string_view text) {
    // Every special is ASCII, and an ASCII byte of UTF-8 is always a whole code point.
    std::string source = wellFormed(text);
    std::string out;
    out.reserve(source.size());
    for (char c : source) {
        if (inlineSpecials.find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string escapeLineStart(std::string_view text) {
    if (text.empty()) {
        return std::string(text);
    }
    if (text.front() == '-' || text.front() == '+' || text.front() == '=') {
        return "\\" + std::string(text);
    }
    std::string source = wellFormed(text);
    std::size_t i = 0;
    while (i < source.size()) {
        std::size_t start = i;
        next(source, i);
        if (!isNumeric(std::string_view(source).substr(start, i - start))) {
            i = start;
            break;
        }
    }
    if (i > 0 && i < source.size() && (source[i] == '.' || source[i] == ')')) {
        return source.substr(0, i) + "\\" + source.substr(i);
    }
    return source;
}

std::string blockquote(std::string_view text) {
    std::string out;
    bool first = true;
    for (const std::string& raw : splitAt(wellFormed(text), isNewline)) {
        std::string line = trimSpaces(raw);
        out += first ? "" : "\n";
        first = false;
        out += line.empty() ? ">" : "> " + escapeLineStart(escapeInline(line));
    }
    return out;
}

std::string stamp(Date date, std::string_view timeZone) {
    return DateFormat::format(date, "d MMM yyyy 'at' HH:mm", DateFormat::britishLocale, timeZone);
}

std::string destination(std::string_view url) {
    if (!URLSafety::isWeb(url) && !URLSafety::isFile(url)) {
        return "";
    }
    std::string out(url);
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> substitutions = {
        {{" ", "%20"}, {"(", "%28"}, {")", "%29"}, {"<", "%3C"}, {">", "%3E"}}};
    for (const auto& [from, to] : substitutions) {
        out = replaceAll(std::move(out), from, to);
    }
    return out;
}

std::string link(std::string_view text, std::string_view url) {
    return "[" + escapeInline(collapse(text)) + "](" + destination(url) + ")";
}

std::string noteLines(const Note& note) {
    std::string label = "Note";
    if (note.mode == Note::Mode::ai) {
        label = "Explanation (AI" + (note.provider ? " \u00B7 " + escapeInline(*note.provider) : "") + ")";
    }
    std::string out = "**" + label + ":** " + escapeInline(collapse(note.explanation));
    if (note.caveat && !note.caveat->empty()) {
        out += "\n\n_Caveat:_ " + escapeInline(collapse(*note.caveat));
    }
    return out;
}

std::string sourceText(const Capture& capture, bool quoteLink) {
    const SourceRef& source = capture.source;
    std::string name = source.title.empty() ? source.appName : source.title;
    if (source.url && URLSafety::isFile(*source.url)) {
        if (auto file = URLSafety::displayHost(*source.url)) {
            name = *file;
        }
        return escapeInline(collapse(name)) + " (local file)";
    }
    if (source.url) {
        std::string out = link(name, *source.url);
        if (quoteLink && capture.kind == CaptureKind::quote) {
            if (auto quote = TextFragment::url(*source.url, capture.trimmedText())) {
                out += " \u00B7 " + link("jump to quote", *quote);
            }
        }
        return out;
    }
    return escapeInline(collapse(name)) + " (" + escapeInline(source.appName) + ")";
}

std::string item(const Card& card, const Options& options) {
    const Capture& capture = card.capture;
    if (capture.kind == CaptureKind::url) {
        std::string target = capture.targetURL.value_or("");
        std::string name = capture.targetTitle.value_or("");
        if (name.empty()) {
            name = URLSafety::displayHost(target).value_or(target);
        }
        std::string line = "- " + link(name, target);
        if (!capture.isPageItself()) {
            line += " \u2014 found on " + sourceText(capture, false);
        }
        return line;
    }
    std::string out = blockquote(capture.trimmedText());
    if (card.note) {
        out += "\n\n" + noteLines(*card.note);
    }
    out += "\n\nSource: " + sourceText(capture, options.includeQuoteLinks);
    return out;
}

std::string brief(const std::vector<Card>& cards, const Options& options, Date now, std::string_view timeZone) {
    std::vector<std::string> lines = {"# " + escapeInline(options.title), ""};
    std::string counts;
    for (Lane lane : Lane::exportOrder()) {
        auto n = std::count_if(cards.begin(), cards.end(), [&](const Card& card) { return card.lane == lane; });
        counts += (counts.empty() ? "" : " \u00B7 ") + std::to_string(n) + " " + Text::lower(lane.title());
    }
    lines.push_back("_Exported from BRELL on " + stamp(now, timeZone) + " \u00B7 " + counts + "_");
    for (Lane lane : Lane::exportOrder()) {
        std::vector<const Card*> inLane;
        for (const Card& card : cards) {
            if (card.lane == lane) {
                inLane.push_back(&card);
            }
        }
        if (inLane.empty()) {
            continue;
        }
        std::stable_sort(inLane.begin(), inLane.end(),
                         [](const Card* a, const Card* b) { return a->capture.capturedAt < b->capture.capturedAt; });
        lines.push_back("");
        lines.push_back("## " + lane.title());
        for (const Card* card : inLane) {
            lines.push_back("");
            lines.push_back(item(*card, options));
        }
    }
    lines.push_back("");
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += (i == 0 ? "" : "\n") + lines[i];
    }
    return out;
}

} // namespace brell::MarkdownExport
