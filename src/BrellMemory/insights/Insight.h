#pragma once
// One proposed next step for a project's task (an `insight` row) with the passages it
// rests on, in citation order. `fingerprint` identifies the suggestion within its
// project; `actionSignature` is the normalised next step that keeps a step the user
// already dealt with from coming back. A plain value; equality over all fields.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BrellMemory/insights/InsightEvidence.h"
#include "BrellMemory/insights/InsightStatus.h"
#include "BrellMemory/insights/ScoreBreakdown.h"
#include "util/Date.h"

namespace brell {

struct Insight {
    using Status = InsightStatus;
    using Evidence = InsightEvidence;

    int64_t id = 0;
    int64_t projectID = 0;
    int64_t taskID = 0;
    int64_t taskRevision = 0; // the task's revision when it was made
    std::string fingerprint;
    std::string actionSignature;
    std::string relationship;
    std::string title;
    std::string whyNow;
    std::string nextStep;
    std::optional<std::string> expectedOutcome;
    std::optional<std::string> uncertainty;
    std::string origin; // 'model' or 'template'
    std::optional<std::string> model;
    double score = 0;
    std::optional<ScoreBreakdown> scores; // the score's parts; none when unreadable
    bool eligible = false;                // may be shown without the user asking
    // Why it is held back ('no_evidence', 'duplicate', 'low_value') or withdrawn
    // ('stale', 'duplicate').
    std::optional<std::string> holdReason;
    Status status = Status::new_;
    Date createdAt = 0;
    std::optional<Date> lastShown;
    std::vector<Evidence> evidence;

    // Some passage is demonstration data.
    bool isFromFixture() const;

    bool operator==(const Insight&) const = default;
};

} // namespace brell
