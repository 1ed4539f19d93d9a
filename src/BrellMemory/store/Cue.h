#pragma once
// One timed line of a transcript: where it starts and ends in the video and its cleaned
// text. Read from timed-text files (Transcript::parse) and built from captions the
// companion captures. A plain value; two cues are equal when all three fields are.
#include <cstdint>
#include <string>

namespace brell {

struct Cue {
    int64_t startMs = 0; // milliseconds from the start of the video
    int64_t endMs = 0;   // milliseconds, after startMs for cues read from files
    std::string text;    // after Transcript::clean: no tags, entities or runs of spaces

    bool operator==(const Cue&) const = default;
};

} // namespace brell
