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
#include "platform/CancelToken.h"

namespace brell {

class Explainer {
public:
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
