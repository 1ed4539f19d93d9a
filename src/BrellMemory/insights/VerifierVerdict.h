#pragma once
// The verifier's answer in typed form, for the application: one verdict per claim in
// claim order, whether the proposed action follows from the evidence, and the
// differences in platform, date, version or assumptions it flagged. A plain value;
// equality over all fields.
#include <optional>
#include <string>
#include <vector>

namespace brell {

struct VerifierVerdict {
    std::vector<std::string> verdicts;
    bool actionFollows = false;
    std::optional<std::string> differences;

    bool operator==(const VerifierVerdict&) const = default;
};

} // namespace brell
