#pragma once
// What one relocation repair did (or, in a preview, would do) to each link between the
// running copy of BRELL and the browser, the assistants and the companion extension,
// and the notice that tells the user about it. A plain value; throws nothing.
#include <optional>
#include <string>
#include <vector>

#include "BrellCore/integration/CompanionSync.h"
#include "BrellCore/integration/ManifestRepair.h"

namespace brell {

struct RelocationReport {
    // Another browser's manifest, repaired like Chrome's.
    struct BrowserLink {
        std::string browser; // "Chromium"
        std::string file;
        ManifestRepair result;
        bool operator==(const BrowserLink&) const = default;
    };

    ManifestRepair chrome;                   // Google Chrome's native-messaging manifest
    ManifestRepair claudeDesktop;            // Claude Desktop's configuration
    std::vector<std::string> needsReconnect; // display names of assistants pointing at a copy that is gone
    CompanionSync::Result companion;
    bool extensionInUse = false; // set by the caller when the companion extension is in use
    std::vector<BrowserLink> otherBrowsers;

    // Up to four sentences for the user, or nothing when there is nothing to say.
    std::optional<std::string> notice() const;

    bool operator==(const RelocationReport&) const = default;
};

} // namespace brell
