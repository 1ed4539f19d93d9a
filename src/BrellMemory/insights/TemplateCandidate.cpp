#include "BrellMemory/insights/TemplateCandidate.h"

#include "BrellMemory/recall/QueryTerms.h"
#include "util/Text.h"

namespace brell::TemplateCandidate {
namespace {

const Excerpt* anchorOf(const std::vector<Excerpt>& pack) {
    for (const Excerpt& excerpt : pack) {
        if (excerpt.kind != "comment" && excerpt.exposure && isOutsideObserved(*excerpt.exposure)) {
            return &excerpt;
        }
    }
    return nullptr;
}

// A passage of another group, preferring one that is not a comment.
const Excerpt* partnerOf(const std::vector<Excerpt>& pack, const Excerpt& anchor) {
    const Excerpt* anyKind = nullptr;
    for (const Excerpt& excerpt : pack) {
        if (excerpt.group == anchor.group) {
            continue;
        }
        if (excerpt.kind != "comment") {
            return &excerpt;
        }
        if (!anyKind) {
            anyKind = &excerpt;
        }
    }
    return anyKind;
}

// Up to three of the task's terms found in the anchor, each in curly quotes.
std::string matchedTerms(const TaskContext& task, const Excerpt& anchor) {
    auto found = QueryTerms::matched(QueryTerms::terms(task.queryText()).original, anchor.text);
    std::string list;
    for (std::size_t i = 0; i < found.size() && i < 3; ++i) {
        list += (i == 0 ? "\u201C" : ", \u201C") + found[i] + "\u201D";
    }
    return list;
}

} // namespace

std::string clip(std::string_view text, std::size_t limit) {
    if (Text::characterCount(text) <= limit) {
        return std::string(text);
    }
    return Text::prefixCharacters(text, limit == 0 ? 0 : limit - 1) + "\u2026";
}

std::optional<CandidateDraft> make(const TaskContext& task, const std::vector<Excerpt>& pack) {
    const Excerpt* anchor = anchorOf(pack);
    if (!anchor) {
        return std::nullopt;
    }
    const Excerpt* partner = partnerOf(pack, *anchor);
    if (!partner) {
        return std::nullopt;
    }
    std::string terms = matchedTerms(task, *anchor);
    const std::string& partnerPlace = partner->whereLabel == "comment" ? partner->sourceTitle : partner->whereLabel;

    CandidateDraft draft;
    draft.relationship = Relationship::missedDetail;
    draft.title = clip("Revisit " + anchor->whereLabel + " in \u201C" + clip(anchor->sourceTitle, 38) + "\u201D", 80);
    draft.whyNow = clip("Your task \u201C" + clip(task.title, 50) + "\u201D matches what it covers" +
                            (terms.empty() ? "" : ": " + terms) + ".",
                        160);
    draft.nextStep = clip("Open " + anchor->whereLabel + " and compare it with \u201C" + clip(partnerPlace, 50) +
                              "\u201D before changing your approach.",
                          230);
    draft.evidence = {
        CandidateEvidence{anchor->chunkID, "missed_detail", clip(anchor->text, 160), std::nullopt},
        CandidateEvidence{partner->chunkID, "corroboration", clip(partner->text, 160), std::nullopt},
    };
    draft.origin = "template";
    return draft;
}

} // namespace brell::TemplateCandidate
