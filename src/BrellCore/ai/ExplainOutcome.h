#pragma once
// The AI explanation of one passage: two to four plain sentences, what to double-check
// when anything stands out, and who wrote it. A plain value compared field by field.
#include <optional>
#include <string>

namespace brell {

struct ExplainOutcome {
    std::string explanation;           // trimmed, 1 to 1,500 characters
    std::optional<std::string> caveat; // trimmed, 1 to 600 characters
    std::string providerLabel;         // Explainer::label of the provider and model
    bool operator==(const ExplainOutcome&) const = default;
};

} // namespace brell
