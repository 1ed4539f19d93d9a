#include "BrellMemory/recall/QueryTerms.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "BrellMemory/recall/TermMatcher.h"
#include "BrellMemory/recall/WordScan.h"
#include "util/Text.h"

namespace brell {
namespace {

bool isPlainASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x80 && u != '\r';
    });
}

std::size_t characters(std::string_view text) {
    return isPlainASCII(text) ? text.size() : Text::characterCount(text);
}

const std::unordered_set<std::string_view>& stopWordSet() {
    static const std::unordered_set<std::string_view> set(QueryTerms::stopWords().begin(),
                                                          QueryTerms::stopWords().end());
    return set;
}

using SynonymTable = std::map<std::string_view, std::vector<std::string_view>, std::less<>>;

const SynonymTable& synonymTable() {
    static const SynonymTable table = {
        {"utility", {"panel", "palette"}},
        {"floating", {"panel", "overlay"}},
        {"popup", {"panel", "popover"}},
        {"closing", {"dismiss", "dismissal", "close"}},
        {"close", {"dismiss", "dismissal"}},
        {"closes", {"dismiss", "dismissal"}},
        {"dismiss", {"close"}},
        {"keyboard", {"key", "keystroke"}},
        {"focus", {"focused", "key"}},
        {"bug", {"issue", "problem"}},
        {"fix", {"workaround", "solution"}},
        {"slow", {"latency", "performance"}},
        {"price", {"pricing", "cost"}},
        {"pricing", {"price", "cost"}},
        {"login", {"auth", "authentication"}},
    };
    return table;
}

} // namespace

namespace QueryTerms {

const std::vector<std::string_view>& stopWords() {
    static const std::vector<std::string_view> list = {
        "a",     "an",     "the",   "and",    "or",    "but",   "if",      "then",  "of",        "to",     "in",
        "on",    "at",     "by",    "for",    "with",  "about", "from",    "into",  "after",     "before", "over",
        "under", "is",     "are",   "was",    "were",  "be",    "been",    "it",    "its",       "this",   "that",
        "these", "those",  "thing", "things", "stuff", "what",  "which",   "who",   "how",       "why",    "when",
        "where", "i",      "me",    "my",     "we",    "our",   "you",     "your",  "he",        "she",    "they",
        "them",  "do",     "does",  "did",    "can",   "could", "should",  "would", "will",      "just",   "some",
        "any",   "there",  "here",  "so",     "as",    "not",   "no",      "yes",   "sometimes", "again",  "also",
        "very",  "really", "one",   "get",    "got",   "like",  "watched", "saw",   "read",      "video",  "article"};
    return list;
}

bool isStopWord(std::string_view word) {
    return stopWordSet().contains(word);
}

const std::vector<std::string_view>& synonyms(std::string_view term) {
    static const std::vector<std::string_view> none;
    auto it = synonymTable().find(term);
    return it == synonymTable().end() ? none : it->second;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    WordScan::forEachWord(text, [&](std::string_view word) { out.emplace_back(word); });
    return out;
}

Terms terms(std::string_view text) {
    Terms result;
    std::unordered_set<std::string> taken;
    for (auto& word : words(text)) {
        if (result.original.size() == maxOriginalTerms) {
            break;
        }
        if (characters(word) < 2 || isStopWord(word) || taken.contains(word)) {
            continue;
        }
        taken.insert(word);
        result.original.push_back(std::move(word));
    }
    result.expanded = result.original;
    for (const auto& term : result.original) {
        for (std::string_view synonym : synonyms(term)) {
            if (result.expanded.size() == maxExpandedTerms) {
                return result;
            }
            if (taken.insert(std::string(synonym)).second) {
                result.expanded.emplace_back(synonym);
            }
        }
    }
    return result;
}

std::string stem(std::string_view word) {
    std::string lowered;
    if (isPlainASCII(word)) {
        lowered = word;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; });
    } else {
        lowered = Text::lower(word);
    }
    return std::string(WordScan::stemOfLowered(lowered));
}

std::vector<std::string> matched(const std::vector<std::string>& terms, std::string_view text) {
    return TermMatcher(terms).matched(text);
}

} // namespace QueryTerms
} // namespace brell
