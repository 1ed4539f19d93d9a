#pragma once
// Every location involved in keeping the browser and the assistants linked to the
// running copy of BRELL: the copy's own programs, the files that name them, and the
// companion extension's source copy and installed folder. standard() gives the desktop
// application's layout (a bundle and a macOS home folder); forThisComputer() asks the
// platform layer for the command-line build's. A plain value; throws nothing.
#include <optional>
#include <string>
#include <vector>

#include "platform/InstallLayout.h"

namespace brell {

struct RelocationPaths {
    // A browser's native-messaging manifest besides Google Chrome's.
    struct BrowserManifest {
        std::string browser; // "Chromium"
        std::string file;
        bool operator==(const BrowserManifest&) const = default;
    };

    std::string appBinary;  // the executable assistants start as the connector
    std::string hostBinary; // brell-memory-host, which the browsers start
    std::string chromeManifest;
    std::string claudeDesktopConfig;
    std::string claudeCodeConfig;
    std::string codexConfig;
    std::string geminiConfig;
    std::optional<std::string> companionSource; // the extension's source copy inside this copy
    std::string companionFolder;                // the folder the browser loads it from
    // Other browsers to repoint like Chrome (Chromium); standard() has none.
    std::vector<BrowserManifest> otherBrowserManifests;

    // The locations for the bundle at `bundlePath` and the home folder `home`.
    static RelocationPaths standard(const std::string& bundlePath, const std::string& home);

    // The locations for `copy` on this computer: the browsers' manifest folders, the
    // assistants' files and the companion folder where this operating system keeps them.
    static RelocationPaths forThisComputer(const InstallLayout::Copy& copy);

    bool operator==(const RelocationPaths&) const = default;
};

} // namespace brell
