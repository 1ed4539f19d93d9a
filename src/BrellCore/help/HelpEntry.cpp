#include "BrellCore/help/HelpEntry.h"

#include "util/Text.h"

namespace brell {

bool HelpEntry::matches(std::string_view query) const {
    std::vector<std::string> words;
    for (auto& piece : Text::split(Text::fold(query), ' ')) {
        if (!piece.empty()) {
            words.push_back(std::move(piece));
        }
    }
    if (words.empty()) {
        return true;
    }
    // One haystack: words split across fields still match together.
    std::string haystack = title + " " + body + " " + HelpSections::title(section);
    for (const auto& keyword : keywords) {
        haystack += " " + keyword;
    }
    haystack = Text::fold(haystack);
    for (const auto& word : words) {
        if (haystack.find(word) == std::string::npos) {
            return false;
        }
    }
    return true;
}

} // namespace brell
