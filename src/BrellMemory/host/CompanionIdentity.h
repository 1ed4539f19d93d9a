#pragma once
// The companion browser extension this system pairs with.
#include <string_view>

namespace brell {

struct CompanionIdentity {
    // The extension's identifier (32 letters a–p); the only extension the host serves.
    static constexpr std::string_view extensionID = "kembcdlbgbcnnchcnbdhbmbhbejnedjf";
};

} // namespace brell
