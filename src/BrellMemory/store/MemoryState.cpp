#include "BrellMemory/store/MemoryState.h"

namespace brell {

MemoryStatus MemoryState::status(Date now, double lostAfter) const {
    if (!enabled) {
        return MemoryStatus::off;
    }
    if (paused) {
        return MemoryStatus::paused;
    }
    if (!hostLastSeen) {
        return MemoryStatus::connectionLost;
    }
    return now - *hostLastSeen <= lostAfter ? MemoryStatus::active : MemoryStatus::connectionLost;
}

} // namespace brell
