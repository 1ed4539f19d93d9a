#pragma once
// The read model of the user's memory switches, the capture epoch, the approved
// origins and when the companion was last heard from. A plain value, read afresh from
// the database for every request (MemoryStore::state).
#include <cstdint>
#include <optional>
#include <vector>

#include "BrellMemory/store/AllowedOrigin.h"
#include "BrellMemory/store/MemoryStatus.h"
#include "util/Date.h"

namespace brell {

struct MemoryState {
    bool decided = false;
    bool enabled = false;
    bool paused = false;
    int64_t epoch = 1;
    bool youtube = false;
    bool providerConsent = false;
    bool proactive = true;
    int64_t retentionDays = 30;
    bool screen = false;
    std::optional<Date> snoozeUntil;
    std::vector<AllowedOrigin> origins; // ordered by origin
    std::optional<Date> hostLastSeen;

    // Memory is on and not paused.
    bool capturing() const { return enabled && !paused; }
    bool snoozed(Date now) const { return snoozeUntil && *snoozeUntil > now; }
    // Off, paused, then active when the companion spoke within `lostAfter` seconds.
    MemoryStatus status(Date now, double lostAfter) const;

    bool operator==(const MemoryState&) const = default;
};

} // namespace brell
