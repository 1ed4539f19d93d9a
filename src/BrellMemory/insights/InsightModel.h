#pragma once
// Anything that can propose a candidate for a task and then judge the candidate's claims
// against the cited passages. The insight engine lives here, on the memory side, and
// reaches AI providers only through this interface; the providers implement it above
// (ProviderInsightModel), and tests with a scripted model.
//
// Inputs are the objects InsightPrompts builds; replies are the model's JSON objects,
// untrusted until CandidateValidation has read them. Each call blocks until the model
// answers, fails, or `cancel` is cancelled (the engine cancels a call that outlives its
// time limit, and then ignores whatever it returns). Implementations are used from
// whichever thread runs the call and must be safe for that (const, sharing nothing but
// thread-safe services). Errors are the implementation's own, e.g. ExplainError.
#include <optional>
#include <string>

#include "platform/CancelToken.h"
#include "util/Json.h"

namespace brell {

class InsightModel {
public:
    virtual ~InsightModel() = default;

    // Who wrote the draft, shown with the insight.
    virtual std::string label() const = 0;
    // Seconds one call may take; the engine allows the larger of this and its own limit.
    virtual double timeout() const = 0;
    // The proposer's reply ({"candidate": … or null}); nothing when the model had no answer.
    virtual std::optional<Json> propose(const Json& input, const CancelToken& cancel) const = 0;
    // The verifier's reply ({"claims": […], "differences": …, "actionFollows": …}).
    virtual Json verify(const Json& input, const CancelToken& cancel) const = 0;

protected:
    InsightModel() = default;
    InsightModel(const InsightModel&) = default;
    InsightModel& operator=(const InsightModel&) = default;
};

} // namespace brell
