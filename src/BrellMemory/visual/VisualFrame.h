#pragma once
// One Visual-mode picture (a `visual_frame` row): its session, when it was taken, the
// name of its file inside the session's folder and whether the user starred it for
// sharing. A plain value; `id` is its identity; thread-safe as any value.
#include <cstdint>
#include <string>

#include "util/Date.h"

namespace brell {

struct VisualFrame {
    int64_t id = 0;
    int64_t sessionID = 0;
    Date at = 0;
    std::string file; // "000042.jpg"
    bool starred = false;

    bool operator==(const VisualFrame&) const = default;
};

} // namespace brell
