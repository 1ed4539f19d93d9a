#include "BrellMemory/store/MemoryStatus.h"

namespace brell {

std::string rawValue(MemoryStatus status) {
    switch (status) {
    case MemoryStatus::off:
        return "Off";
    case MemoryStatus::active:
        return "Active";
    case MemoryStatus::paused:
        return "Paused";
    case MemoryStatus::connectionLost:
        return "Connection Lost";
    }
    return "Off";
}

std::optional<MemoryStatus> memoryStatusFromRaw(std::string_view text) {
    for (auto status : {MemoryStatus::off, MemoryStatus::active, MemoryStatus::paused, MemoryStatus::connectionLost}) {
        if (rawValue(status) == text) {
            return status;
        }
    }
    return std::nullopt;
}

} // namespace brell
