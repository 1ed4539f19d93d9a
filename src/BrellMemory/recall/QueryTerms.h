#pragma once
// QueryTerms: how a few typed words become query terms, and whether a passage "matches"
// a term. Every recall feature uses these rules (search, moments, answer checking,
// context passages, insight evidence, screen and visual searches), so a word counts as
// found in the same way everywhere.
//
// A word is a run of letters and numbers (Unicode sense) of the lower-cased text. Terms
// drop one-letter words, stop words and repeats (at most 12), then gain synonyms (at
// most 20 in all). A term matches a text when its stem is the stem of one of the text's
// words; a stem is the word without the first listed suffix that leaves at least four
// characters. Lengths are counted in user-perceived characters.
//
// Pure functions over constant tables; safe from any thread. Nothing here throws except
// std::bad_alloc (or a failure of ICU itself). Ill-formed UTF-8 is read as if each bad
// byte were U+FFFD.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace brell::QueryTerms {

// The 88 words that never become terms, all lower case.
const std::vector<std::string_view>& stopWords();
bool isStopWord(std::string_view word);

// The synonyms a term adds, in table order; empty for a term without synonyms.
const std::vector<std::string_view>& synonyms(std::string_view term);

// The stem suffixes, in the order they are tried.
inline constexpr std::array<std::string_view, 10> stemSuffixes = {"ingly", "ation", "ings", "ing", "edly",
                                                                  "ed",    "es",    "ly",   "er",  "s"};

inline constexpr std::size_t maxOriginalTerms = 12;
inline constexpr std::size_t maxExpandedTerms = 20;

// The words of a text: lower-cased, split at every character that is neither a letter
// nor a number, empty pieces dropped. "Wi-Fi 6E's" gives wi, fi, 6e, s.
std::vector<std::string> words(std::string_view text);

struct Terms {
    std::vector<std::string> original; // the user's own terms, in order, at most 12
    std::vector<std::string> expanded; // original followed by new synonyms, at most 20

    bool operator==(const Terms&) const = default;
};

// "How did I fix the login bug" gives original fix, login, bug and expanded fix, login,
// bug, workaround, solution, auth, authentication, issue, problem.
Terms terms(std::string_view text);

// The lower-cased word without its first fitting suffix: pricing → pric, closes → clos,
// singly → sing ("ingly" would leave too little), dismissal unchanged.
std::string stem(std::string_view word);

// The terms, as given, in order and with repeats kept, whose stem is the stem of some
// word of `text`. "pricing" matches "priced"; "close" does not match "closes".
std::vector<std::string> matched(const std::vector<std::string>& terms, std::string_view text);

} // namespace brell::QueryTerms
