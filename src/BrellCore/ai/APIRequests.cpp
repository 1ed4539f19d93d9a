#include "BrellCore/ai/APIRequests.h"

#include "BrellCore/ai/APIHosts.h"
#include "BrellCore/ai/Explainer.h"

namespace brell::APIRequests {
namespace {

constexpr const char* anthropicVersion = "2026-10-21";
constexpr const char* fallbackBeta = "server-side-fallback-2026-07-01";

} // namespace

HTTPRequest anthropic(const std::string& system, const std::string& userText, const OrderedJson& schema,
                      const std::string& apiKey, const std::string& model) {
    OrderedJson outputConfig = {{"format", {{"type", "json_schema"}, {"schema", schema}}}};
    if (Explainer::modelSupportsEffort(model)) {
        outputConfig["effort"] = "low";
    }
    OrderedJson body = {{"model", model},
                        {"max_tokens", 4096},
                        {"system", system},
                        {"output_config", outputConfig},
                        {"messages", OrderedJson::array({{{"role", "user"}, {"content", userText}}})}};
    HTTPRequest request;
    request.url = APIHosts::anthropicMessages();
    request.timeoutSeconds = requestTimeout;
    request.headers = {
        {"Content-Type", "application/json"}, {"x-api-key", apiKey}, {"anthropic-version", anthropicVersion}};
    if (Explainer::modelSupportsFallback(model)) {
        request.headers.emplace_back("anthropic-beta", fallbackBeta);
        body["fallbacks"] = "default";
    }
    request.body = body.dump();
    return request;
}

HTTPRequest openAI(const std::string& system, const std::string& userText, const OrderedJson& schema,
                   const std::string& name, int maxOutputTokens, const std::string& apiKey, const std::string& model) {
    OrderedJson content = OrderedJson::array({{{"type", "input_text"}, {"text", userText}}});
    OrderedJson body = {
        {"model", model},
        {"store", false},
        {"max_output_tokens", maxOutputTokens},
        {"instructions", system},
        {"input", OrderedJson::array({{{"role", "user"}, {"content", content}}})},
        {"text", {{"format", {{"type", "json_schema"}, {"name", name}, {"strict", true}, {"schema", schema}}}}}};
    HTTPRequest request;
    request.url = APIHosts::openAIResponses();
    request.timeoutSeconds = requestTimeout;
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + apiKey}};
    request.body = body.dump();
    return request;
}

} // namespace brell::APIRequests
