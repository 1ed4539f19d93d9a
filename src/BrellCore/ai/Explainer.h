#pragma once
// The AI explanation of one saved passage, and the vocabulary every model call shares:
// the label naming who wrote an AI text, what a model identifier supports, and the
// deadline that bounds a call.
//
// A namespace of static operations without state. Operations that wait take the
// caller's CancelToken and end with ExplainError::cancelled when it is cancelled.
// Thread-safe. Failures are ExplainError unless a comment says otherwise.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/ExplainOutcome.h"
#include "BrellCore/ai/HTTPClient.h"
#include "BrellCore/ai/HTTPRequest.h"
#include "platform/CancelToken.h"
#include "util/Json.h"

namespace brell {

class Explainer {
public:
    // What a model answered, before validate().
    struct Note {
        std::string explanation;
        std::optional<std::string> caveat;
        bool operator==(const Note&) const = default;
    };

    // The system prompt of every explanation request.
    static const std::string instructions;
    // The answer's schema: {"explanation": string, "caveat": string or null}, both
    // required, nothing else. Built once, on first use.
    static const OrderedJson& explanationSchema();
    // The same with "caveat" as {"type": ["string", "null"]}, as OpenAI takes it.
    static const OrderedJson& openAISchema();

    // The explanation of `text` by `provider`. Deadlines: 20 s (anthropic), 8 s
    // (openai), 90 s (claudeCode), 40 s (apple), each multiplied by `timeScale` (tests
    // shrink it), as is the 60-second request timeout. Writes nothing anywhere.
    static ExplainOutcome explain(const std::string& text, AIProvider provider, const std::string& apiKey,
                                  const std::string& model, const HTTPClient& session, const CancelToken& cancel,
                                  double timeScale = 1.0);

    // Test mode: after 0.9 s (cancellable), a canned explanation that counts the words.
    // Sends nothing anywhere.
    static ExplainOutcome mock(const std::string& text, const CancelToken& cancel);

    // The request for a cloud provider; unavailable for the others. Throws nlohmann's
    // serialisation error for text that is not UTF-8.
    static HTTPRequest makeRequest(const std::string& text, AIProvider provider, const std::string& apiKey,
                                   const std::string& model);
    static HTTPRequest anthropicRequest(const std::string& text, const std::string& apiKey, const std::string& model);
    static HTTPRequest openAIRequest(const std::string& text, const std::string& apiKey, const std::string& model);

    // Performs the request: (body, status). Transport failures become cancelled,
    // timeout or unavailable with the offline or unreachable sentence.
    static HTTPClient::Response send(const HTTPRequest& request, const HTTPClient& session, const CancelToken& cancel);

    static Note parseAnthropic(std::string_view body, int status);
    static Note parseOpenAI(std::string_view body, int status);
    // The error for a failed status; `body` is the parsed reply, or null.
    static ExplainError httpError(int status, const Json& body);
    static Note decodeNote(std::string_view text);
    static Note validate(const std::string& explanation, const std::optional<std::string>& caveat);
    // The passage in <passage> tags, any closing tag inside it written "</ passage>".
    static std::string wrap(std::string_view text);

    // "Claude Code · your subscription" for claudeCode without a model (after trimming
    // spaces), "Apple Intelligence · on this Mac" for apple, else the provider's short
    // name, " · " and the model as given.
    static std::string label(AIProvider provider, std::string_view model);

    // Models that take "effort" (by prefix) and the server-side fallback (exact names).
    static bool modelSupportsEffort(std::string_view model);
    static bool modelSupportsFallback(std::string_view model);

    // Runs `op` with a token that a timer cancels after `seconds`; the first to finish
    // decides. The timer thread is joined before this returns, so nothing runs on past
    // it. A timer that fired gives ExplainError::timeout (a late answer is discarded);
    // a cancelled caller gives ExplainError::cancelled; otherwise op's value or error.
    template <class Op>
    static auto withDeadline(double seconds, const CancelToken& caller, Op&& op)
        -> std::invoke_result_t<Op, const CancelToken&> {
        using Result = std::invoke_result_t<Op, const CancelToken&>;
        if constexpr (std::is_void_v<Result>) {
            runWithDeadline(seconds, caller, op);
        } else {
            std::optional<Result> result;
            runWithDeadline(seconds, caller, [&](const CancelToken& token) { result.emplace(op(token)); });
            return std::move(*result);
        }
    }

private:
    static void runWithDeadline(double seconds, const CancelToken& caller,
                                const std::function<void(const CancelToken&)>& op);
};

} // namespace brell
