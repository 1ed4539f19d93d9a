#pragma once
// The operating system's on-device language model and language recogniser, as far as
// BRELL uses them. macOS 26 and later carry both (FoundationModels, NaturalLanguage);
// this Linux build has neither, so it reports the model as unavailable for "any other
// reason", lists no languages, recognises none and refuses to generate. A macOS build
// fills the same functions in. Everything is asked afresh on every call.
//
// Thread-safe. Only respond() throws: GenerationError.
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CancelToken.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::OnDevicePlatform {

// The platform's answer about the default system model.
enum class Availability { available, deviceNotEligible, notEnabled, notReady, other };

// A failure of the platform's generation; the description is the platform's own text.
class GenerationError : public Error {
public:
    GenerationError(const std::string& description, bool cancelled) : Error(description), cancelled_(cancelled) {}
    bool cancelled() const { return cancelled_; }

private:
    bool cancelled_;
};

struct Hypothesis {
    std::string language; // the recogniser's identifier, e.g. "en" or "zh-Hans"
    double probability = 0;
};

// True on a system too old to carry the model (macOS before 26).
bool systemTooOld();

Availability availability();

// The model's context size when the system reports it (macOS 26.4 and later).
std::optional<int> reportedContextSize();

// Language codes of the languages the model supports.
std::set<std::string> supportedLanguageCodes();

// At most `maximum` language hypotheses for `text`, most likely first.
std::vector<Hypothesis> languageHypotheses(std::string_view text, int maximum);

// How many of the text's characters (grapheme clusters) are letters.
std::size_t letterCount(std::string_view text);

// One request on a fresh session: instructions, the input, the generation schema (as
// OnDeviceModel's converter describes it), temperature. Gives the generated JSON text.
std::string respond(const std::string& instructions, const std::string& input, const OrderedJson& generationSchema,
                    double temperature, const CancelToken& cancel);

} // namespace brell::OnDevicePlatform
