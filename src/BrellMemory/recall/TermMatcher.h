#pragma once
// TermMatcher: one list of terms matched against many texts, with the terms stemmed
// once. It answers exactly as QueryTerms::matched does; the search uses it because it
// tests every hit's text, heading and cues against the same terms.
//
// A plain value that owns its terms; const use is safe from any thread. Throws only
// std::bad_alloc (or a failure of ICU itself).
#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brell {

class TermMatcher {
public:
    explicit TermMatcher(std::vector<std::string> terms);

    const std::vector<std::string>& terms() const { return terms_; }

    // found[i] is true when terms()[i] matches `text`.
    std::vector<bool> found(std::string_view text) const;
    // The matching terms, in order, repeats kept.
    std::vector<std::string> matched(std::string_view text) const;
    // The number of matching terms (repeats counted).
    std::size_t count(std::string_view text) const;

private:
    std::vector<std::string> terms_;
    std::vector<std::string> stems_;
    // The first bytes of the stems: a word starting otherwise cannot match, since a
    // word's stem is a prefix of it. Most words of a text stop at this test.
    std::bitset<256> firstBytes_;
};

} // namespace brell
