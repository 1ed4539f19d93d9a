#pragma once
// SearchHit: one chunk found for a query, with what it matched, the media position to
// cite and the text to show. Identified by the chunk's id. A plain value; equality over
// all fields.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BrellMemory/store/ChunkRecord.h"

namespace brell {

struct SearchHit {
    ChunkRecord chunk;                // the chunk with its source
    double rank = 0;                  // bm25 (lower is better); 0 when found without the index
    std::vector<std::string> matched; // the expanded terms found in the text and heading
    std::optional<int64_t> cueMs;     // the media position to cite
    std::string excerpt;              // the text to show

    int64_t id() const { return chunk.id; }

    bool operator==(const SearchHit&) const = default;
};

} // namespace brell
