#pragma once
// The two cloud request shapes every AI call sends: one Messages API request and one
// Responses API request carrying a system text, the user's text and the JSON schema the
// answer must follow. Explanations and the structured call differ only in what they
// put in them. Pure functions; thread-safe; throw nothing.
#include <string>

#include "BrellCore/ai/HTTPRequest.h"
#include "util/Json.h"

namespace brell::APIRequests {

// Every request may take this long before the transfer itself gives up.
inline constexpr double requestTimeout = 60;

// A Messages API request: 4096 tokens at most, "low" effort where the model supports
// it, and the server-side fallback where the model supports that.
HTTPRequest anthropic(const std::string& system, const std::string& userText, const OrderedJson& schema,
                      const std::string& apiKey, const std::string& model);

// A Responses API request, never stored, with a strict schema named `name`.
HTTPRequest openAI(const std::string& system, const std::string& userText, const OrderedJson& schema,
                   const std::string& name, int maxOutputTokens, const std::string& apiKey, const std::string& model);

} // namespace brell::APIRequests
