#pragma once
// Where the two cloud APIs are reached. As the providers' own client libraries do,
// $ANTHROPIC_BASE_URL and $OPENAI_BASE_URL (when set and not empty) replace the
// official hosts, so a proxy or a compatible local server works too.
// Thread-safe; throws nothing.
#include <string>

namespace brell::APIHosts {

// $ANTHROPIC_BASE_URL (default https://api.anthropic.com) + "/v1/messages".
std::string anthropicMessages();

// $OPENAI_BASE_URL (default https://api.openai.com/v1) + "/responses".
std::string openAIResponses();

} // namespace brell::APIHosts
