#include "addresses/TextFragment.h"

#include "addresses/URLComponents.h"
#include "util/Regex.h"
#include "util/Text.h"

#include <vector>

namespace brell::TextFragment {
namespace {

// The same white space Text::trim removes.
const Regex& whiteSpace() {
    static const Regex pattern("\\p{White_Space}+");
    return pattern;
}

const Regex& lineBreak() {
    static const Regex pattern("[\\x{000A}-\\x{000D}\\x{0085}\\x{2028}\\x{2029}]");
    return pattern;
}

std::string encode(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const std::bitset<256>& keep = allowed();
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (keep[byte]) {
            out += c;
        } else {
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 0x0F];
        }
    }
    return out;
}

std::string joinWords(const std::vector<std::string>& words, std::size_t begin, std::size_t end) {
    std::string out;
    for (std::size_t i = begin; i < end; ++i) {
        if (i > begin) {
            out += ' ';
        }
        out += words[i];
    }
    return out;
}

} // namespace

const std::bitset<256>& allowed() {
    static const std::bitset<256> set = [] {
        std::bitset<256> bits;
        for (unsigned char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._~")) {
            bits.set(c);
        }
        return bits;
    }();
    return set;
}

std::optional<std::string> url(std::string_view base, std::string_view quote) {
    auto parts = URLComponents::parse(base);
    if (!parts || !parts->scheme) {
        return std::nullopt;
    }
    std::string scheme = Text::lower(*parts->scheme);
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }

    // Ill-formed bytes would otherwise be encoded into a link no browser can match.
    std::string text = Text::sanitizeUTF8(quote);
    std::vector<std::string> words = whiteSpace().split(text);
    std::erase_if(words, [](const std::string& word) { return word.empty(); });
    if (words.empty()) {
        return std::nullopt;
    }
    std::size_t n = words.size();
    std::string joined = joinWords(words, 0, n);

    std::string directive;
    bool oneLine = !lineBreak().find(Text::trim(text));
    if (oneLine && Text::characterCount(joined) <= maxDirectiveCharacters) {
        directive = encode(joined);
    } else if (n == 1) {
        directive = encode(Text::prefixCharacters(joined, maxDirectiveCharacters));
    } else if (n <= 7) {
        std::size_t half = n / 2;
        directive = encode(joinWords(words, 0, half)) + "," + encode(joinWords(words, half, n));
    } else {
        directive = encode(joinWords(words, 0, 4)) + "," + encode(joinWords(words, n - 4, n));
    }

    std::size_t hash = base.find('#');
    if (hash == std::string_view::npos) {
        return std::string(base) + "#:~:text=" + directive;
    }
    std::string_view fragment = base.substr(hash + 1);
    if (std::size_t old = fragment.find(":~:"); old != std::string_view::npos) {
        fragment = fragment.substr(0, old);
    }
    return std::string(base.substr(0, hash)) + "#" + std::string(fragment) + ":~:text=" + directive;
}

} // namespace brell::TextFragment
