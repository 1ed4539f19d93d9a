#include "BrellMemory/screen/CatchUpItem.h"

#include <functional>

namespace brell {

std::string CatchUpItem::id() const {
    return std::to_string(capture.id) + "-" + std::to_string(std::hash<std::string>{}(summary));
}

int CatchUpItem::urgencyRank() const {
    if (urgency == "high") {
        return 0;
    }
    if (urgency == "low") {
        return 2;
    }
    return 1;
}

} // namespace brell
