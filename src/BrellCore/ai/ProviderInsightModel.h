#pragma once
// The one structured call to whichever provider the user chose: a system text, an
// input object, a JSON schema and a name in, the model's JSON object out. Moments,
// answers, summaries, catch-up and insights all go through structured().
//
// As the insight engine's InsightModel, propose() and verify() send the insight
// prompts and schemas through that same call (ProviderInsightModelInsights.cpp).
//
// A plain value built from the user's AI settings; the API key it carries is never
// written anywhere. Thread-safe (const). structured(), propose() and verify() throw
// ExplainError for the provider's refusals and failures, HTTPClient::TransportError
// unchanged for network failures, and nlohmann's serialisation error for input that
// is not UTF-8.
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/HTTPClient.h"
#include "BrellCore/ai/HTTPRequest.h"
#include "BrellMemory/insights/InsightModel.h"
#include "platform/CancelToken.h"
#include "util/Json.h"

namespace brell {

class ProviderInsightModel : public InsightModel {
public:
    ProviderInsightModel(AIProvider provider, std::string apiKey, std::string model);

    AIProvider provider;
    std::string apiKey; // the cloud providers' key; the others ignore it
    std::string model;  // for the cloud providers and the command-line runner

    // Explainer::label of the provider and model.
    std::string label() const override;
    // Seconds one call may take: 90 (claudeCode), 40 (apple), 12 otherwise.
    double timeout() const override;
    // Characters of input one call takes: the on-device budget (at least 2,500) for
    // apple, 120,000 otherwise.
    int inputBudget() const;

    Json structured(const std::string& system, const Json& input, const OrderedJson& schema, const std::string& name,
                    const HTTPClient& session, const CancelToken& cancel) const;

    // The proposer's prompt and schema under "brell_candidate", over the shared client.
    std::optional<Json> propose(const Json& input, const CancelToken& cancel) const override;
    // The verifier's prompt and schema under "brell_verdict", over the shared client.
    Json verify(const Json& input, const CancelToken& cancel) const override;

    // "<input>\n" + the input as compact JSON with sorted keys + "\n</input>".
    static std::string frame(const Json& input);
    static HTTPRequest anthropicRequest(const std::string& system, const std::string& userText,
                                        const OrderedJson& schema, const std::string& apiKey, const std::string& model);
    static HTTPRequest openAIRequest(const std::string& system, const std::string& userText, const OrderedJson& schema,
                                     const std::string& name, const std::string& apiKey, const std::string& model);
    // The answer object out of a cloud provider's reply.
    static Json readReply(AIProvider provider, int status, std::string_view body);
};

} // namespace brell
