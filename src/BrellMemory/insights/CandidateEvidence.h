#pragma once
// One passage a candidate cites: the chunk, its role for the step, what it is cited for
// and, once the verifier has looked, its verdict on that claim ("supported",
// "inference_only", "contradicted" or "unsupported"). A plain value; equality over all
// fields.
#include <cstdint>
#include <optional>
#include <string>

namespace brell {

struct CandidateEvidence {
    int64_t chunkID = 0;
    std::string role;  // one of CandidateValidation::roles()
    std::string claim; // at most 160 characters
    std::optional<std::string> verdict;

    bool operator==(const CandidateEvidence&) const = default;
};

} // namespace brell
