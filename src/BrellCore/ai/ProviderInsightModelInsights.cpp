// ProviderInsightModel as the insight engine's model: the two insight requests.
#include "BrellCore/ai/ProviderInsightModel.h"

#include "BrellMemory/insights/InsightPrompts.h"

namespace brell {

std::optional<Json> ProviderInsightModel::propose(const Json& input, const CancelToken& cancel) const {
    return structured(std::string(InsightPrompts::candidate), input, InsightPrompts::candidateSchema(),
                      "brell_candidate", HTTPClient::shared(), cancel);
}

Json ProviderInsightModel::verify(const Json& input, const CancelToken& cancel) const {
    return structured(std::string(InsightPrompts::verifier), input, InsightPrompts::verifierSchema(), "brell_verdict",
                      HTTPClient::shared(), cancel);
}

} // namespace brell
