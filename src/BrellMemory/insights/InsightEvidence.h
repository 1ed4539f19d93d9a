#pragma once
// One passage an insight rests on, as loaded for display: the chunk (only available
// chunks are loaded), its role and claim for the insight, the verifier's verdict, how
// the user met that part, the position to cite, the link that opens it there and a
// short label naming it. A plain value; equality over all fields.
#include <cstdint>
#include <optional>
#include <string>

#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"

namespace brell {

struct InsightEvidence {
    ChunkRecord chunk;
    std::string role;                   // "" when the row has none
    std::optional<std::string> claim;   // what the insight takes from the passage
    std::optional<std::string> verdict; // supported, inference_only, contradicted, unsupported
    std::optional<ExposureLabel> exposure;
    std::optional<int64_t> cueMs;
    std::string openURL;
    std::string label; // MemoryStore::evidenceLabel

    int64_t id() const { return chunk.id; }

    bool operator==(const InsightEvidence&) const = default;
};

} // namespace brell
