#pragma once
// One "video.transcript" as the host stores it: the video, its title, the captions as
// cues (each ending where the next starts, the last after 5 s) and the chapter titles.
// parse() reads it from the message's `source` and `payload` objects, or says why it is
// refused ("invalid" with "video_source", "cues", "cue", "cue_order" or
// "too_much_text"); it touches nothing else. A plain value; parse() is pure and
// thread-safe and throws only std::bad_alloc.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "BrellMemory/host/IngestRefusal.h"
#include "BrellMemory/store/Cue.h"
#include "util/Json.h"

namespace brell {

struct CapturedTranscript {
    struct Chapter {
        int64_t startMs = 0;
        std::string title;
        bool operator==(const Chapter&) const = default;
    };

    std::string key; // "youtube:" + the video id
    std::string videoID;
    std::string watchURL;          // YouTube's https watch address for the id
    std::string title;             // the cleaned page title, or "YouTube video"
    std::vector<Cue> cues;         // cleaned, in time order
    std::vector<Chapter> chapters; // usable entries only; a malformed list is none

    bool operator==(const CapturedTranscript&) const = default;

    // The chapter title a chunk starting at `startMs` sits under: the last chapter that
    // starts at or before it.
    std::optional<std::string> chapterAt(int64_t startMs) const;

    // `maxCharacters` bounds the cue text of the whole message.
    static std::variant<CapturedTranscript, IngestRefusal> parse(const Json& source, const Json& payload,
                                                                 int64_t maxCharacters);
};

} // namespace brell
