#include "BrellCore/ai/AICall.h"

#include <optional>

#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/HTTPClient.h"

namespace brell::AICall {
namespace {

ExplainError transportError(const HTTPClient::TransportError& e) {
    using Kind = HTTPClient::TransportError::Kind;
    switch (e.kind()) {
    case Kind::cancelled:
        return ExplainError::cancelled();
    case Kind::timedOut:
        return ExplainError::timeout();
    case Kind::offline:
    case Kind::connectionLost:
        return ExplainError::unavailable(
            "You're offline, so your AI provider couldn't answer. Try again once you're connected.");
    case Kind::failed:
        break;
    }
    return ExplainError::unavailable("Couldn't reach your AI provider. Check your internet connection and try again.");
}

// The status a cloud provider answered with, when the structured call failed on it.
std::optional<int> failedStatus(const ExplainError& e) {
    const std::string message = e.message();
    const std::string_view prefix = "HTTP ";
    if (e.kind() != ExplainError::Kind::unavailable || !message.starts_with(prefix) ||
        message.size() == prefix.size() || message.size() > prefix.size() + 3) {
        return std::nullopt;
    }
    int status = 0;
    for (char c : message.substr(prefix.size())) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        status = status * 10 + (c - '0');
    }
    return status;
}

// The user's sentence for an error of the structured call (unchanged when it is one).
ExplainError userFacing(const ExplainError& e) {
    auto status = failedStatus(e);
    if (!status) {
        return e;
    }
    if (*status == 200) {
        return ExplainError::invalidResponse(); // a reply, but not the JSON object asked for
    }
    return Explainer::httpError(*status, Json());
}

} // namespace

Json ask(const ProviderInsightModel& model, const std::string& system, const Json& input, const OrderedJson& schema,
         const std::string& name, const CancelToken& cancel) {
    return Explainer::withDeadline(model.provider.deadline(), cancel, [&](const CancelToken& token) {
        try {
            return model.structured(system, input, schema, name, HTTPClient::shared(), token);
        } catch (const HTTPClient::TransportError& e) {
            throw transportError(e);
        } catch (const ExplainError& e) {
            throw userFacing(e);
        }
    });
}

} // namespace brell::AICall
