#include "BrellMemory/recall/TermMatcher.h"

#include <algorithm>

#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/recall/WordScan.h"

namespace brell {

TermMatcher::TermMatcher(std::vector<std::string> terms) : terms_(std::move(terms)) {
    stems_.reserve(terms_.size());
    for (const auto& term : terms_) {
        stems_.push_back(QueryTerms::stem(term));
        if (!stems_.back().empty()) {
            firstBytes_.set(static_cast<unsigned char>(stems_.back()[0]));
        }
    }
}

std::vector<bool> TermMatcher::found(std::string_view text) const {
    std::vector<bool> hits(stems_.size(), false);
    std::size_t missing = stems_.size();
    if (missing == 0) {
        return hits;
    }
    WordScan::forEachWord(text, [&](std::string_view word) {
        if (missing == 0 || word.empty() || !firstBytes_.test(static_cast<unsigned char>(word[0]))) {
            return;
        }
        std::string_view stem = WordScan::stemOfLowered(word);
        for (std::size_t i = 0; i < stems_.size(); ++i) {
            if (!hits[i] && stems_[i] == stem) {
                hits[i] = true;
                --missing;
            }
        }
    });
    return hits;
}

std::vector<std::string> TermMatcher::matched(std::string_view text) const {
    std::vector<bool> hits = found(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < terms_.size(); ++i) {
        if (hits[i]) {
            out.push_back(terms_[i]);
        }
    }
    return out;
}

std::size_t TermMatcher::count(std::string_view text) const {
    std::vector<bool> hits = found(text);
    return static_cast<std::size_t>(std::count(hits.begin(), hits.end(), true));
}

} // namespace brell
