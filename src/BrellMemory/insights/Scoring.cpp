#include "BrellMemory/insights/Scoring.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "BrellMemory/recall/QueryTerms.h"
#include "util/Text.h"

namespace brell::Scoring {
namespace {

struct Pair {
    const CandidateEvidence* item;
    const Excerpt* excerpt;
};

// Each cited passage with the first pack excerpt of its chunk; passages the pack lacks
// are left out.
std::vector<Pair> pairsOf(const CandidateDraft& draft, const std::vector<Excerpt>& pack) {
    std::vector<Pair> pairs;
    for (const CandidateEvidence& item : draft.evidence) {
        auto found = std::find_if(pack.begin(), pack.end(),
                                  [&](const Excerpt& excerpt) { return excerpt.chunkID == item.chunkID; });
        if (found != pack.end()) {
            pairs.push_back({&item, &*found});
        }
    }
    return pairs;
}

std::size_t foundTerms(std::string_view query, std::string_view text) {
    return QueryTerms::matched(QueryTerms::terms(query).original, text).size();
}

void rateFit(ScoreBreakdown& breakdown, const TaskContext& task, const std::vector<Pair>& pairs) {
    std::string text;
    for (const Pair& pair : pairs) {
        text += (text.empty() ? "" : " ") + pair.excerpt->text;
    }
    std::size_t a = foundTerms(task.title, text);
    std::size_t b = foundTerms(task.objective + " " + task.keywords, text);
    if (a > 0 && b > 0) {
        breakdown.fit = 1;
        breakdown.reasons["fit"] = "Task and its symptom both appear in the evidence";
    } else if (a == 0 && b == 0) {
        breakdown.fit = 0;
        breakdown.reasons["fit"] = "Generic overlap";
    } else {
        breakdown.fit = 0.5;
        breakdown.reasons["fit"] = "Only part of the task matches";
    }
}

void rateEvidence(ScoreBreakdown& breakdown, const CandidateDraft& draft, const std::vector<Pair>& pairs) {
    std::vector<Pair> supported;
    bool refuted = false;
    for (const Pair& pair : pairs) {
        const auto& verdict = pair.item->verdict;
        refuted = refuted || verdict == "unsupported" || verdict == "contradicted";
        if (draft.origin == "template" || verdict == "supported" || verdict == "inference_only") {
            supported.push_back(pair);
        }
    }
    bool commentsOnly = std::all_of(supported.begin(), supported.end(),
                                    [](const Pair& pair) { return pair.excerpt->kind == "comment"; });
    std::set<std::string> groups;
    for (const Pair& pair : supported) {
        groups.insert(pair.excerpt->group);
    }
    if (refuted || commentsOnly) {
        breakdown.evidence = 0;
        breakdown.reasons["evidence"] = "Unsupported or comments only";
    } else if (groups.size() < 2) {
        breakdown.evidence = 0.5;
        breakdown.reasons["evidence"] = "One independent source";
    } else {
        breakdown.evidence = 1;
        breakdown.reasons["evidence"] = std::to_string(groups.size()) + " independent sources support it";
    }
}

void rateNovelty(ScoreBreakdown& breakdown, const CandidateDraft& draft, const TaskContext& task,
                 const std::vector<Pair>& pairs, const std::vector<std::string>& suppressed) {
    std::string sig = signature(draft.nextStep);
    bool repeated = std::any_of(suppressed.begin(), suppressed.end(),
                                [&](const std::string& done) { return overlap(done, sig) >= 0.6; });
    double plan = overlap(signature(task.objective), sig);
    bool unseen = std::any_of(pairs.begin(), pairs.end(), [](const Pair& pair) {
        return pair.excerpt->exposure && isOutsideObserved(*pair.excerpt->exposure);
    });
    if (repeated) {
        breakdown.novelty = 0;
        breakdown.reasons["novelty"] = "You already marked this";
    } else if (plan >= 0.75) {
        breakdown.novelty = 0;
        breakdown.reasons["novelty"] = "Repeats your task plan";
    } else if (unseen) {
        breakdown.novelty = 1;
        breakdown.reasons["novelty"] = "Comes from material outside what you watched or read";
    } else {
        breakdown.novelty = 0.5;
        breakdown.reasons["novelty"] = "Familiar material with a relevant qualification";
    }
}

std::set<std::string> wordSet(std::string_view text) {
    std::set<std::string> words;
    for (auto& word : Text::split(text, ' ')) {
        if (!word.empty()) {
            words.insert(std::move(word));
        }
    }
    return words;
}

} // namespace

ScoreBreakdown score(const CandidateDraft& draft, const TaskContext& task, const std::vector<Excerpt>& pack,
                     const std::vector<std::string>& suppressed, bool timingNow, const MemoryConfig& config) {
    ScoreBreakdown breakdown;
    auto pairs = pairsOf(draft, pack);
    rateFit(breakdown, task, pairs);
    rateEvidence(breakdown, draft, pairs);
    rateNovelty(breakdown, draft, task, pairs, suppressed);

    if (draft.origin == "model" && draft.expectedOutcome && draft.actionFollows == true) {
        breakdown.actionability = 1;
        breakdown.reasons["actionability"] = "Bounded test with an expected result";
    } else {
        breakdown.actionability = 0.5;
        breakdown.reasons["actionability"] = "Useful, but no checkable outcome";
    }
    if (timingNow) {
        breakdown.timing = 1;
        breakdown.reasons["timing"] = "Your current task can use it now";
    } else {
        breakdown.timing = 0.5;
        breakdown.reasons["timing"] = "Relevant next time";
    }

    double total = breakdown.fit * config.weightFit;
    total += breakdown.evidence * config.weightEvidence;
    total += breakdown.novelty * config.weightNovelty;
    total += breakdown.actionability * config.weightActionability;
    total += breakdown.timing * config.weightTiming;
    // std::round takes halves away from zero.
    breakdown.total = std::round(total * 1000) / 1000;
    return breakdown;
}

Eligibility eligible(const ScoreBreakdown& breakdown, const MemoryConfig& config) {
    if (breakdown.evidence < 1) {
        return {false, "no_evidence"};
    }
    if (breakdown.novelty < 0.5) {
        return {false, "duplicate"};
    }
    if (breakdown.fit < 1 || breakdown.actionability < 1 || breakdown.total < config.autoThreshold) {
        return {false, "low_value"};
    }
    return {true, std::nullopt};
}

std::string signature(std::string_view text) {
    std::set<std::string> stems;
    for (const std::string& term : QueryTerms::terms(text).original) {
        stems.insert(QueryTerms::stem(term));
    }
    std::string joined;
    std::size_t count = 0;
    for (const std::string& stem : stems) {
        if (count++ == 10) {
            break;
        }
        joined += (joined.empty() ? "" : " ") + stem;
    }
    return joined;
}

double overlap(std::string_view a, std::string_view b) {
    auto left = wordSet(a);
    auto right = wordSet(b);
    if (left.empty() || right.empty()) {
        return 0;
    }
    std::size_t shared =
        std::count_if(left.begin(), left.end(), [&](const std::string& word) { return right.count(word) > 0; });
    return static_cast<double>(shared) / static_cast<double>(std::min(left.size(), right.size()));
}

} // namespace brell::Scoring
