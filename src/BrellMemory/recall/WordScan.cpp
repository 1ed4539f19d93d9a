#include "BrellMemory/recall/WordScan.h"

#include "BrellMemory/recall/QueryTerms.h"
#include "util/Regex.h"
#include "util/Text.h"

namespace brell::WordScan {

std::string_view stemOfLowered(std::string_view word) {
    std::size_t length = Text::characterCount(word); // no ICU for plain ASCII
    for (std::string_view suffix : QueryTerms::stemSuffixes) {
        if (length >= suffix.size() + 4 && word.ends_with(suffix)) {
            return word.substr(0, word.size() - suffix.size());
        }
    }
    return word;
}

std::vector<std::string> unicodeWords(std::string_view run) {
    // Combining marks (vowel signs, accents) belong to the letter they sit on, as they do
    // for the full-text index's tokenizer: splitting at them would cut "हिंदी" into
    // single consonants and a decomposed "café" into "cafe" and nothing.
    static const Regex separators("[^\\p{L}\\p{M}\\p{N}]+");
    std::vector<std::string> pieces = separators.split(Text::lower(run));
    std::erase_if(pieces, [](const std::string& piece) { return piece.empty(); });
    return pieces;
}

} // namespace brell::WordScan
