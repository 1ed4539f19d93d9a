#pragma once
// The provider apple: the operating system's on-device model. Tells whether it can be
// used now and, if not, why (a sentence for the user); how much input one request
// takes; whether a text is in a language the model supports; and runs one structured
// request (instructions, input and a JSON schema in, a JSON object out). Nothing leaves
// the computer. On systems without such a model (this Linux build) the status is
// unavailable and every dependent value follows from that; schema translation and the
// language arithmetic are the same everywhere.
//
// A namespace of static operations without state: the platform is asked afresh on
// every call. Thread-safe. run() throws ExplainError only.
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/OnDeviceSchemaPlan.h"
#include "platform/CancelToken.h"
#include "platform/OnDevicePlatform.h"
#include "util/Json.h"

namespace brell {

class OnDeviceModel {
public:
    enum class Status { available, needsNewerSystem, deviceNotEligible, notEnabled, notReady, unavailable };

    using Recognizer = std::function<std::vector<OnDevicePlatform::Hypothesis>(std::string_view text, int maximum)>;

    // The same text Explainer::label gives for apple.
    static constexpr std::string_view label = "Apple Intelligence \u00B7 on this Mac";

    static std::string_view sentence(Status status);

    static Status status();
    static bool isAvailable();
    // BRELL_NO_ON_DEVICE is exactly "1".
    static bool disabledByEnvironment();
    static int contextTokens();
    // Characters of input one request takes.
    static int inputBudget();
    // The budget for a context of `contextTokens`: 0 below 1, else (context − 1700) × 2.5
    // truncated, never below 2,500.
    static int inputBudget(int contextTokens);
    static std::set<std::string> supportedLanguageCodes();

    static bool supports(std::string_view text);
    static bool supports(std::string_view text, const std::set<std::string>& languages);
    // As above with the given recogniser instead of the platform's.
    static bool supports(std::string_view text, const std::set<std::string>& languages, const Recognizer& recognize);

    // One structured request under a deadline of `timeoutSeconds`.
    static Json run(const std::string& system, const std::string& input, const OrderedJson& schema,
                    double timeoutSeconds, const CancelToken& cancel);

    // The sentence for a platform failure, judged by words in its description.
    static ExplainError explainError(std::string_view description);

    // Turns a plan into the description of the platform's dynamic generation schema:
    // {"kind": "choice"|"array"|"object"|"anyOf"|"string"|"integer"|"number"|"boolean", ...}.
    struct Converter {
        static OrderedJson build(const OnDeviceSchemaPlan& plan);
    };
};

} // namespace brell
