#pragma once
// The companion browser extensions this system pairs with, fixed here and nowhere else.
// There are two because the companion comes in two builds: the published one, whose
// identifier the browser derives from its store key, and the one built from this
// repository's companion/chrome folder, loaded unpacked, whose identifier follows from
// the public key in its own manifest. Both speak the same protocol; any other caller is
// refused. Header-only; nothing here throws beyond allocation.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace brell {

struct CompanionIdentity {
    // The published companion's identifier (32 letters a–p).
    static constexpr std::string_view extensionID = "kembcdlbgbcnnchcnbdhbmbhbejnedjf";
    // The repository's own companion: the identifier its manifest "key" gives it.
    static constexpr std::string_view sourceExtensionID = "hfibbkondadfpfgdamicagljdjbcollk";
    static constexpr std::array<std::string_view, 2> extensionIDs = {extensionID, sourceExtensionID};

    // "chrome-extension://<id>/" for every served companion, the published one first.
    static std::vector<std::string> origins() {
        std::vector<std::string> all;
        for (auto id : extensionIDs) {
            all.push_back("chrome-extension://" + std::string(id) + "/");
        }
        return all;
    }
};

} // namespace brell
