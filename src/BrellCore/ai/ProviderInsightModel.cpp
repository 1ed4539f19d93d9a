#include "BrellCore/ai/ProviderInsightModel.h"

#include <algorithm>

#include "BrellCore/ai/APIHosts.h"
#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/OnDeviceModel.h"

namespace brell {
namespace {

constexpr double requestTimeout = 60;
constexpr int cloudBudget = 120000;
constexpr int onDeviceFloor = 2500;

ExplainError httpStatus(int status) {
    return ExplainError::unavailable("HTTP " + std::to_string(status));
}

std::string textOf(const Json& value) {
    return JsonText::string(value).value_or("");
}

} // namespace

ProviderInsightModel::ProviderInsightModel(AIProvider provider, std::string apiKey, std::string model)
    : provider(provider), apiKey(std::move(apiKey)), model(std::move(model)) {}

std::string ProviderInsightModel::label() const {
    return Explainer::label(provider, model);
}

double ProviderInsightModel::timeout() const {
    switch (provider.value()) {
    case AIProvider::claudeCode:
        return 90;
    case AIProvider::apple:
        return 40;
    default:
        return 12;
    }
}

int ProviderInsightModel::inputBudget() const {
    if (provider == AIProvider::apple) {
        return std::max(OnDeviceModel::inputBudget(), onDeviceFloor);
    }
    return cloudBudget;
}

std::string ProviderInsightModel::frame(const Json& input) {
    // nlohmann's object keeps its keys sorted.
    return "<input>\n" + input.dump() + "\n</input>";
}

HTTPRequest ProviderInsightModel::anthropicRequest(const std::string& system, const std::string& userText,
                                                   const OrderedJson& schema, const std::string& apiKey,
                                                   const std::string& model) {
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
        {"Content-Type", "application/json"}, {"x-api-key", apiKey}, {"anthropic-version", "2026-10-21"}};
    if (Explainer::modelSupportsFallback(model)) {
        request.headers.emplace_back("anthropic-beta", "server-side-fallback-2026-07-01");
        body["fallbacks"] = "default";
    }
    request.body = body.dump();
    return request;
}

HTTPRequest ProviderInsightModel::openAIRequest(const std::string& system, const std::string& userText,
                                                const OrderedJson& schema, const std::string& name,
                                                const std::string& apiKey, const std::string& model) {
    OrderedJson content = OrderedJson::array({{{"type", "input_text"}, {"text", userText}}});
    OrderedJson body = {
        {"model", model},
        {"store", false},
        {"max_output_tokens", 900},
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

Json ProviderInsightModel::readReply(AIProvider provider, int status, std::string_view body) {
    if (status != 200) {
        throw httpStatus(status);
    }
    auto reply = JsonText::parse(body);
    if (!reply || !reply->is_object()) {
        throw httpStatus(200);
    }
    std::string text;
    if (provider == AIProvider::anthropic) {
        if (JsonText::string(JsonText::member(*reply, "stop_reason")) == "refusal") {
            throw ExplainError::refused();
        }
        if (const Json& content = JsonText::member(*reply, "content"); content.is_array()) {
            for (const Json& block : content) {
                if (JsonText::string(JsonText::member(block, "type")) == "text") {
                    text += textOf(JsonText::member(block, "text"));
                }
            }
        }
    } else if (const Json& output = JsonText::member(*reply, "output"); output.is_array()) {
        for (const Json& item : output) {
            if (JsonText::string(JsonText::member(item, "type")) != "message") {
                continue;
            }
            if (const Json& content = JsonText::member(item, "content"); content.is_array()) {
                for (const Json& part : content) {
                    if (JsonText::string(JsonText::member(part, "type")) == "output_text") {
                        text += textOf(JsonText::member(part, "text"));
                    }
                }
            }
        }
    }
    auto answer = JsonText::parse(text);
    if (!answer || !answer->is_object()) {
        throw ExplainError::invalidResponse();
    }
    return *answer;
}

Json ProviderInsightModel::structured(const std::string& system, const Json& input, const OrderedJson& schema,
                                      const std::string& name, const HTTPClient& session,
                                      const CancelToken& cancel) const {
    const std::string userText = frame(input);
    switch (provider.value()) {
    case AIProvider::off:
        throw ExplainError::unavailable("Provider off");
    case AIProvider::claudeCode:
        try {
            return ClaudeCodeCLI::run(system, userText, schema, model, "low", 90, cancel);
        } catch (const ClaudeCodeCLI::Failure& failure) {
            throw ClaudeCodeCLI::explainError(failure);
        }
    case AIProvider::apple:
        return OnDeviceModel::run(system, userText, schema, 40, cancel);
    case AIProvider::anthropic:
    case AIProvider::openai:
        break;
    }
    HTTPRequest request = provider == AIProvider::anthropic
                              ? anthropicRequest(system, userText, schema, apiKey, model)
                              : openAIRequest(system, userText, schema, name, apiKey, model);
    auto response = session.perform(request, cancel);
    return readReply(provider, response.status, response.body);
}

} // namespace brell
