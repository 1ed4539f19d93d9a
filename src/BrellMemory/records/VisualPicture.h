#pragma once
// One picture of a Visual-mode session: when it was taken and its JPEG bytes. A plain
// aggregate with equality; thread-safe.
#include <cstdint>
#include <vector>

#include "util/Date.h"

namespace brell {

struct VisualPicture {
    Date at;                   // when the picture was taken
    std::vector<uint8_t> jpeg; // the picture, JPEG-encoded

    bool operator==(const VisualPicture&) const = default;
};

} // namespace brell
