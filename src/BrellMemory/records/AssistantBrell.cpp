#include "BrellMemory/records/AssistantBrell.h"

#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t topicKeywords = 6;

// The byte length of a separator starting at `at` (comma, semicolon or a line
// break), or 0.
std::size_t separatorLength(std::string_view text, std::size_t at) {
    char c = text[at];
    if (c == ',' || c == ';' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        return 1;
    }
    if (text.compare(at, 2, "\xC2\x85") == 0) { // NEXT LINE
        return 2;
    }
    if (text.compare(at, 3, "\xE2\x80\xA8") == 0 || text.compare(at, 3, "\xE2\x80\xA9") == 0) {
        return 3; // LINE SEPARATOR, PARAGRAPH SEPARATOR
    }
    return 0;
}

std::string_view trimSpacesAndTabs(std::string_view piece) {
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) {
        piece.remove_prefix(1);
    }
    while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) {
        piece.remove_suffix(1);
    }
    return piece;
}

} // namespace

std::vector<std::string> AssistantBrell::terms(std::string_view text) {
    std::vector<std::string> terms;
    auto take = [&terms](std::string_view piece) {
        piece = trimSpacesAndTabs(piece);
        if (Text::characterCount(piece) > 2) {
            terms.emplace_back(piece);
        }
    };
    std::size_t pieceStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::size_t length = separatorLength(text, i)) {
            take(text.substr(pieceStart, i - pieceStart));
            i += length;
            pieceStart = i;
        } else {
            ++i;
        }
    }
    take(text.substr(pieceStart));
    return terms;
}

std::string AssistantBrell::topic() const {
    if (keywords.empty()) {
        return name;
    }
    std::string out;
    for (std::size_t i = 0; i < keywords.size() && i < topicKeywords; ++i) {
        out += (i > 0 ? " " : "") + keywords[i];
    }
    return out;
}

std::vector<Card> AssistantBrell::cards(const std::vector<Card>& cards) const {
    std::vector<Card> found;
    if (keywords.empty()) {
        return found;
    }
    for (const Card& card : cards) {
        for (const std::string& keyword : keywords) {
            if (card.matches(keyword)) {
                found.push_back(card);
                break;
            }
        }
    }
    return found;
}

} // namespace brell
