#pragma once
// One "video.session_delta" as the host stores it: the video it belongs to, the title
// to show and the ranges played. parse() reads it from the message's `source` and
// `payload` objects, or says which answer refuses it; it touches nothing else, so the
// storing code never meets a malformed message. A plain value; parse() is pure and
// thread-safe and throws only std::bad_alloc.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "BrellMemory/host/IngestRefusal.h"
#include "BrellMemory/store/Intervals.h"
#include "util/Json.h"

namespace brell {

struct VideoDelta {
    std::string key;                          // "youtube:" + the video id
    std::string videoID;                      // the 11-character id of the watch page
    std::string watchURL;                     // YouTube's https watch address for the id
    std::string title;                        // the cleaned page title, or "YouTube video"
    std::vector<Range> ranges;                // played while the tab was visible
    std::optional<std::vector<Range>> played; // played at all, when the companion sent them
    int64_t playedWallMs = 0;                 // running total of playing time, 0 when not sent

    bool operator==(const VideoDelta&) const = default;

    // Refusals: "video_source", "ranges", "range_bounds", "played_wall" (all "invalid").
    static std::variant<VideoDelta, IngestRefusal> parse(const Json& source, const Json& payload);

    // An array of at most 1000 [start, end] integer pairs with 0 <= start < end <= a day:
    // the ranges, "ranges" when the shape is wrong, "range_bounds" when a pair is.
    static std::variant<std::vector<Range>, IngestRefusal> parseRanges(const Json& value);
};

} // namespace brell
