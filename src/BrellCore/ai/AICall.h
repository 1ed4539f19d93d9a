#pragma once
// The structured call as a command makes it for the user: the chosen provider asked
// once under its own deadline, every failure turned into the sentence the user is shown.
// ProviderInsightModel::structured tells a cloud provider's refusal as "HTTP " and its
// status and lets network failures through as they are; here they become the sentences
// an explanation gives for the same failure (a rejected key, a rate limit, a provider
// down), except going offline: an answer was asked for, not an explanation of a quote.
//
// Stateless; safe from any thread. ask() throws ExplainError only.
#include <string>

#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "platform/CancelToken.h"
#include "util/Json.h"

namespace brell::AICall {

// `model.structured` over the shared HTTP client, stopped at the provider's deadline or
// when `cancel` fires.
Json ask(const ProviderInsightModel& model, const std::string& system, const Json& input, const OrderedJson& schema,
         const std::string& name, const CancelToken& cancel);

} // namespace brell::AICall
