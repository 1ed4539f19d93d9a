#pragma once
// Which AI provider a command asks, and whether each provider can be used on this
// computer now. The choice is the one `brell ai use` saved in settings.json ("aiProvider",
// "aiModel"), which a command's own --provider and --model may override; API keys come
// only from the environment. The readiness checks are the ones `brell ai status`,
// `brell ai use` and `brell setup` report: the `claude` program located, the on-device
// model's status, a cloud provider's key variable set.
//
// Functions without state; the checks ask the system each time (ClaudeCodeCLI caches
// where `claude` is for the life of the process). Used by the command thread. Throw
// nothing.
#include <optional>
#include <string>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/ProviderInsightModel.h"

namespace brell {

class AppSettings;

namespace AIChoice {

// What settings.json holds: the provider (off when absent or unknown) and the model,
// when one was saved.
struct Saved {
    AIProvider provider = AIProvider::off;
    std::optional<std::string> model;
};

Saved saved(const AppSettings& settings);

// The provider a command runs with: `provider` when given, else the saved one. Its model:
// `model` when given, else the saved model when the provider is the saved one, else the
// provider's default. Its key: the provider's environment variable, empty when unset or
// when the provider takes none.
ProviderInsightModel select(const Saved& saved, const std::optional<AIProvider>& provider = std::nullopt,
                            const std::optional<std::string>& model = std::nullopt);

// Whether `provider` can answer now, judged on this computer alone (no request is made);
// when it cannot, `reason` is one sentence saying what to do. off is always usable: it
// asks nothing of anyone. Test mode (BRELL_MOCK_AI) is not taken into account here.
struct Readiness {
    bool usable = true;
    std::string reason;
};

Readiness readiness(AIProvider provider);

// True when BRELL_MOCK_AI is exactly "1": AI commands answer with mock texts built
// without a model.
bool mockMode();

} // namespace AIChoice
} // namespace brell
