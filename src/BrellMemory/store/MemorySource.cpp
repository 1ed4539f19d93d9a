#include "BrellMemory/store/MemorySource.h"

namespace brell {

std::optional<std::string> MemorySource::videoID() const {
    if (key.rfind("youtube:", 0) == 0) {
        return key.substr(8);
    }
    return std::nullopt;
}

} // namespace brell
