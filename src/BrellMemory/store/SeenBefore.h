#pragma once
// What memory knows of earlier visits to one page: the parts of a video watched and
// only played, or how long an article was read and how many of its sections. A plain
// value (MemoryStore::seenBefore).
#include <cstdint>
#include <string>
#include <vector>

#include "BrellMemory/store/Intervals.h"
#include "util/Date.h"

namespace brell {

struct SeenBefore {
    int64_t sourceID = 0;
    std::string kind; // "video" or "article"
    std::string title;
    std::vector<Range> watched; // merged ranges watched while visible (videos)
    std::vector<Range> played;  // played but not watched, pieces of a second or more (videos)
    int64_t watchedSeconds = 0;
    int64_t playedSeconds = 0;
    int64_t readSeconds = 0;  // active reading time (articles)
    int64_t sectionsRead = 0; // distinct sections seen in view (articles)
    Date firstSeen = 0;
    Date lastSeen = 0;

    bool isVideo() const { return kind == "video"; }
    bool operator==(const SeenBefore&) const = default;
};

} // namespace brell
