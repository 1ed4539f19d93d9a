#pragma once
// A web origin whose articles the user approved. Its identity is `origin`.
#include <string>

#include "util/Date.h"

namespace brell {

struct AllowedOrigin {
    std::string origin;    // "https://" + host [+ ":" + port]
    bool indexText = true; // article text may be stored; when false only visits are
    bool muted = false;    // hidden from the companion; approving again clears it
    Date grantedAt = 0;    // first approval

    const std::string& id() const { return origin; }
    bool operator==(const AllowedOrigin&) const = default;
};

} // namespace brell
