#pragma once
// SourceMatch: one source offered as an answer to a question: its best hit, how the user
// met that passage, why it matched and the address that opens it there. Identified by
// the source's id. A plain value; equality over all fields.
#include <cstdint>
#include <optional>
#include <string>

#include "BrellMemory/recall/SearchHit.h"
#include "BrellMemory/store/ExposureLabel.h"

namespace brell {

struct SourceMatch {
    SearchHit hit;                         // the best hit of this source
    std::optional<ExposureLabel> exposure; // whether the user saw or heard this part
    std::string reason;                    // why it matched
    std::string openURL;                   // opens the source at the passage

    int64_t id() const { return hit.chunk.sourceID; }

    bool operator==(const SourceMatch&) const = default;
};

} // namespace brell
