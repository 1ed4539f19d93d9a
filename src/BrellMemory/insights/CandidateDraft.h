#pragma once
// A proposed insight before it is scored and stored: one next step for the current
// task with the passages it cites, written by a model (checked by CandidateValidation)
// or by TemplateCandidate. A plain value; equality over all fields. Lengths are in
// user-perceived characters.
#include <optional>
#include <string>
#include <vector>

#include "BrellMemory/insights/CandidateEvidence.h"
#include "BrellMemory/insights/Relationship.h"

namespace brell {

struct CandidateDraft {
    Relationship relationship = Relationship::diagnosis;
    std::string title;                          // imperative, at most 80
    std::string whyNow;                         // at most 160
    std::string nextStep;                       // one bounded action, at most 230
    std::optional<std::string> expectedOutcome; // at most 160
    std::optional<std::string> uncertainty;     // at most 200
    std::vector<CandidateEvidence> evidence;    // in citation order
    std::string origin;                         // "model" or "template"
    std::optional<std::string> model;           // label of the model that wrote it
    std::optional<bool> actionFollows;          // the verifier's opinion; none until verified

    bool operator==(const CandidateDraft&) const = default;
};

} // namespace brell
