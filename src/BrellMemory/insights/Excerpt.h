#pragma once
// One passage of an evidence pack, as the insight engine found it and as a model and
// scoring see it. `group` makes passages with the same opening words count as one
// independent source: they share the group of the first source that had them. A plain
// value; equality over all fields.
#include <cstdint>
#include <optional>
#include <string>

#include "BrellMemory/store/ExposureLabel.h"

namespace brell {

struct Excerpt {
    int64_t chunkID = 0;
    int64_t sourceID = 0;
    std::string group;
    std::string kind; // 'transcript', 'article' or 'comment'
    std::string sourceTitle;
    std::string whereLabel; // a timecode, an article heading or "article text", or "comment"
    std::optional<ExposureLabel> exposure;
    std::string text;       // the search excerpt
    std::string provenance; // the chunk's provenance

    // "c" + chunk id: what a model cites instead of a bare number.
    std::string promptID() const { return "c" + std::to_string(chunkID); }

    bool operator==(const Excerpt&) const = default;
};

} // namespace brell
