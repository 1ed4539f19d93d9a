#include "BrellCore/ai/APIHosts.h"

#include "platform/Environment.h"

namespace brell::APIHosts {
namespace {

std::string base(const char* variable, const char* fallback) {
    std::string url = Environment::nonEmptyValue(variable).value_or(fallback);
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

} // namespace

std::string anthropicMessages() {
    return base("ANTHROPIC_BASE_URL", "https://api.anthropic.com") + "/v1/messages";
}

std::string openAIResponses() {
    return base("OPENAI_BASE_URL", "https://api.openai.com/v1") + "/responses";
}

} // namespace brell::APIHosts
