#include "brell/AIChoice.h"

#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "BrellCore/ai/OnDeviceModel.h"
#include "brell/AppSettings.h"
#include "platform/Environment.h"

namespace brell::AIChoice {

Saved saved(const AppSettings& settings) {
    Saved choice;
    if (auto raw = settings.string("aiProvider")) {
        choice.provider = AIProvider::fromRawValue(*raw).value_or(AIProvider::off);
    }
    choice.model = settings.string("aiModel");
    return choice;
}

ProviderInsightModel select(const Saved& saved, const std::optional<AIProvider>& provider,
                            const std::optional<std::string>& model) {
    AIProvider chosen = provider.value_or(saved.provider);
    std::string modelName;
    if (model) {
        modelName = *model;
    } else if (chosen == saved.provider && saved.model) {
        modelName = *saved.model;
    } else {
        modelName = std::string(chosen.defaultModel());
    }
    std::string apiKey;
    if (auto variable = chosen.environmentKey()) {
        apiKey = Environment::value(std::string(*variable)).value_or("");
    }
    return ProviderInsightModel(chosen, std::move(apiKey), std::move(modelName));
}

Readiness readiness(AIProvider provider) {
    switch (provider.value()) {
    case AIProvider::off:
        return {};
    case AIProvider::claudeCode:
        if (!ClaudeCodeCLI::locate()) {
            return {false, "Claude Code isn't installed: no claude program was found. Install it from "
                           "https://claude.ai and sign in once in a terminal."};
        }
        return {};
    case AIProvider::apple:
        if (auto status = OnDeviceModel::status(); status != OnDeviceModel::Status::available) {
            return {false, std::string(OnDeviceModel::sentence(status))};
        }
        return {};
    case AIProvider::anthropic:
    case AIProvider::openai:
        break;
    }
    std::string key(*provider.environmentKey());
    if (Environment::value(key).value_or("").empty()) {
        return {false, "No API key: set " + key + " in the environment."};
    }
    return {};
}

bool mockMode() {
    return Environment::value("BRELL_MOCK_AI") == std::optional<std::string>("1");
}

} // namespace brell::AIChoice
