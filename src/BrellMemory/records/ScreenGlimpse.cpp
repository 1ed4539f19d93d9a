#include "BrellMemory/records/ScreenGlimpse.h"

#include <algorithm>

#include "util/Text.h"

namespace brell {

std::optional<std::string> ScreenGlimpse::plainAddress(const std::optional<std::string>& address) {
    if (!address) {
        return std::nullopt;
    }
    std::string plain = address->substr(0, address->find_first_of("?#"));
    if (plain.empty()) {
        return std::nullopt;
    }
    return plain;
}

std::string ScreenGlimpse::excerpt(std::string_view text, const std::vector<std::string>& words, std::size_t limit) {
    if (Text::characterCount(text) <= limit) {
        return std::string(text);
    }
    const std::string source = Text::isValidUTF8(text) ? std::string(text) : Text::sanitizeUTF8(text);
    const std::vector<std::size_t> bounds = Text::characterBoundaries(source);
    const std::size_t count = bounds.size() - 1;
    auto character = [&](std::size_t i) {
        return std::string_view(source).substr(bounds[i], bounds[i + 1] - bounds[i]);
    };

    // Folding character by character keeps a map from the folded text back to the
    // characters, even where folding changes lengths ("ß" folds to "ss").
    std::string folded;
    std::vector<std::size_t> foldedStart; // byte offset in `folded` of each character
    foldedStart.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        foldedStart.push_back(folded.size());
        folded += Text::fold(character(i));
    }
    std::optional<std::size_t> hit;
    for (const std::string& word : words) {
        std::string needle = Text::fold(Text::trim(word));
        if (needle.empty()) {
            continue;
        }
        std::size_t at = folded.find(needle);
        if (at == std::string::npos) {
            continue;
        }
        auto index = static_cast<std::size_t>(std::upper_bound(foldedStart.begin(), foldedStart.end(), at) -
                                              foldedStart.begin() - 1);
        hit = hit ? std::min(*hit, index) : index;
    }

    std::size_t start = 0;
    if (hit) {
        const std::size_t step = limit / 4;
        start = *hit > step ? *hit - step : 0;
        // Back to the start of that line, but never so far that the hit could fall
        // out of the window: at most another quarter of it.
        const std::size_t earliest = start > step ? start - step : 0;
        std::optional<std::size_t> lineStart;
        for (std::size_t i = start; i > 0 && i >= earliest && !lineStart; --i) {
            if (character(i - 1).find('\n') != std::string_view::npos) {
                lineStart = i;
            }
        }
        if (!lineStart && earliest == 0) {
            lineStart = 0; // the text's own start is within reach
        }
        start = lineStart.value_or(start);
    }
    const std::size_t end = std::min(count, start + limit);
    std::string out;
    if (start > 0) {
        out += "\u2026\n";
    }
    out += source.substr(bounds[start], bounds[end] - bounds[start]);
    if (end < count) {
        out += "\n\u2026";
    }
    return out;
}

} // namespace brell
