#include "BrellMemory/insights/Insight.h"

#include <algorithm>

namespace brell {

bool Insight::isFromFixture() const {
    return std::any_of(evidence.begin(), evidence.end(), [](const Evidence& e) { return e.chunk.isFixture(); });
}

} // namespace brell
