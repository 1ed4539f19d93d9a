// A model's replies are untrusted: any bytes as a proposer's candidate and as a
// verifier's reply.
//
// Checked: parse() either throws CandidateValidation::Failure or gives a draft that
// keeps every promise — known relationship, trimmed texts within their limits and free
// of unsafe marks, one to three (two to three when proactive) distinct passages that
// were offered, with allowed roles and claims of 1 to 160 characters, origin "model",
// nothing verified. applyVerdict() of anything leaves every passage with one of the four
// verdicts, no unexplained inference, and a verdict on whether the action follows.
// Scoring either draft stays within its levels, and the breakdown reads back from JSON.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/insights/CandidateValidation.h"
#include "BrellMemory/insights/Scoring.h"
#include "FuzzSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using fuzz::check;

const TaskContext task{7, 12, 3, "Espresso", "Fix sour shots", "Dial in the grinder", "crema"};

const std::vector<Excerpt>& pack() {
    static const std::vector<Excerpt> excerpts = {
        {12, 1, "s1", "transcript", "Grinder video", "1:00", ExposureLabel::outsideObservedPlayback,
         "sour shots and a coarse grinder", "capture"},
        {40, 2, "s2", "article", "Roasting guide", "Light roasts", ExposureLabel::articleSectionInView,
         "grind finer for light roasts", "capture"},
        {41, 3, "s2", "comment", "Forum", "comment", std::nullopt, "my grinder was off", "capture"},
        {50, 4, "s4", "transcript", "Other video", "2:00", ExposureLabel::playedWhileVisible, "crema", "fixture"},
    };
    return excerpts;
}

void checkText(const std::string& text, std::size_t limit, bool required, const char* what) {
    check(Text::trim(text) == text, "a text is trimmed", what);
    check(!required || !text.empty(), "a required text is not empty", what);
    check(Text::characterCount(text) <= limit, "a text keeps its limit", what);
}

void checkDraft(const CandidateDraft& draft, bool proactive) {
    checkText(draft.title, 80, true, "title");
    checkText(draft.whyNow, 160, true, "whyNow");
    checkText(draft.nextStep, 230, true, "nextStep");
    checkText(draft.expectedOutcome.value_or(""), 160, false, "expectedOutcome");
    checkText(draft.uncertainty.value_or(""), 200, false, "uncertainty");
    check(!draft.expectedOutcome || !draft.expectedOutcome->empty(), "an outcome is absent rather than empty");
    check(!draft.uncertainty || !draft.uncertainty->empty(), "an uncertainty is absent rather than empty");
    for (const std::string* text : {&draft.title, &draft.whyNow, &draft.nextStep}) {
        check(!CandidateValidation::isUnsafe(*text), "no accepted text is unsafe", *text);
    }
    check(draft.origin == "model" && !draft.model && !draft.actionFollows, "a parsed draft is an unverified model's");
    std::size_t least = proactive ? 2 : 1;
    check(draft.evidence.size() >= least && draft.evidence.size() <= 3, "a draft cites an allowed number of passages");
    std::vector<int64_t> chunks;
    for (const CandidateEvidence& item : draft.evidence) {
        check(std::any_of(pack().begin(), pack().end(), [&](const Excerpt& e) { return e.chunkID == item.chunkID; }),
              "a cited chunk was offered");
        check(std::find(chunks.begin(), chunks.end(), item.chunkID) == chunks.end(), "a chunk is cited once");
        chunks.push_back(item.chunkID);
        check(std::find(CandidateValidation::roles.begin(), CandidateValidation::roles.end(), item.role) !=
                  CandidateValidation::roles.end(),
              "a role is allowed", item.role);
        std::size_t length = Text::characterCount(item.claim);
        check(length >= 1 && length <= 160, "a claim has 1 to 160 characters", item.claim);
        check(!CandidateValidation::isUnsafe(item.claim), "no accepted claim is unsafe", item.claim);
        check(!item.verdict, "a parsed passage is not yet verified");
    }
}

void checkVerdicts(const CandidateDraft& before, const CandidateDraft& after) {
    check(after.evidence.size() == before.evidence.size(), "verdicts keep every passage");
    for (const CandidateEvidence& item : after.evidence) {
        const std::string verdict = item.verdict.value_or("");
        check(verdict == "supported" || verdict == "inference_only" || verdict == "contradicted" ||
                  verdict == "unsupported",
              "every passage gets one of the four verdicts", verdict);
        check(verdict != "inference_only" || !after.uncertainty.value_or("").empty(),
              "an inference stands only beside an uncertainty");
    }
    check(after.actionFollows.has_value(), "the verdict says whether the action follows");
}

void checkScore(const CandidateDraft& draft) {
    for (bool now : {true, false}) {
        ScoreBreakdown breakdown = Scoring::score(
            draft, task, pack(), {"finer grind", Scoring::signature(draft.nextStep)}, now, MemoryConfig{});
        check(breakdown.total >= 0 && breakdown.total <= 1, "a total lies between 0 and 1");
        check(breakdown.reasons.size() == 5, "every component is explained");
        check(ScoreBreakdown::fromJson(Json::parse(breakdown.toJson().dump())) == breakdown,
              "a breakdown reads back from its JSON");
        auto eligibility = Scoring::eligible(breakdown, MemoryConfig{});
        check(eligibility.eligible != eligibility.holdReason.has_value(), "a held insight has a reason");
    }
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto reply = JsonText::parse(text);
    if (!reply) {
        return 0;
    }
    bool proactive = size % 2 == 0;
    // A whole proposer's reply holds the candidate under "candidate"; anything else is
    // taken as the candidate itself.
    const Json& candidate = reply->contains("candidate") ? (*reply)["candidate"] : *reply;
    (void)ScoreBreakdown::fromJson(*reply);

    CandidateDraft draft;
    draft.title = "Grind finer";
    draft.nextStep = "Pull a shot finer";
    draft.uncertainty = size % 3 == 0 ? std::optional<std::string>("beans differ") : std::nullopt;
    draft.evidence = {{12, "symptom", "sour", std::nullopt},
                      {40, "cause", "finer", std::nullopt},
                      {41, "context", "grinder", std::nullopt}};
    draft.origin = "model";
    try {
        draft = CandidateValidation::parse(candidate, task, pack(), proactive);
        checkDraft(draft, proactive);
    } catch (const CandidateValidation::Failure& failure) {
        check(failure.what()[0] != '\0', "a failure says what failed");
    }
    CandidateDraft verified = CandidateValidation::applyVerdict(draft, *reply);
    checkVerdicts(draft, verified);
    checkScore(draft);
    checkScore(verified);
    return 0;
}
