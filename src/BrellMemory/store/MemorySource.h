#pragma once
// One remembered video or article (a `source` row) with the totals of its sessions.
// A plain value.
#include <cstdint>
#include <optional>
#include <string>

#include "util/Date.h"

namespace brell {

struct MemorySource {
    int64_t id = 0;
    std::string key;  // "youtube:" + video id, or "article:" + canonical address
    std::string kind; // "video" or "article"
    std::string url;
    std::string title;
    std::string origin;
    Date firstSeen = 0;
    Date lastSeen = 0;
    bool muted = false;
    std::string transcriptStatus; // none, captured, imported, fixture, unavailable
    std::string commentsStatus;   // none, fetched, fixture
    int64_t activeWallMs = 0;
    int64_t playedWallMs = 0;
    int64_t sessionCount = 0;

    bool isVideo() const { return kind == "video"; }
    // The key without "youtube:", for video sources.
    std::optional<std::string> videoID() const;

    bool operator==(const MemorySource&) const = default;
};

} // namespace brell
