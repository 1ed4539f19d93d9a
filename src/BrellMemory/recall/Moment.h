#pragma once
// One spot to open: a passage, where in it (for videos), why it answers the question,
// how the user met it, and the link that reopens the source there. A plain value.
#include <cstdint>
#include <optional>
#include <string>

#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"
#include "util/Date.h"

namespace brell {

struct Moment {
    ChunkRecord chunk;
    std::optional<int64_t> ms; // position in the video; only for transcripts
    std::string why;           // the model's short reason, at most 220 characters
    std::optional<ExposureLabel> exposure;
    std::string openURL;

    // Chunk id, "-", and ms (or -1): "412-95000".
    std::string id() const;
    // Where in the source, for people: a time, a section, "Saved quote", or for screen
    // text when it was seen ("today 14:05" or "Tue 3 Mar 14:05", in the local zone).
    std::string whereLabel(Date now) const;

    bool operator==(const Moment&) const = default;
};

} // namespace brell
