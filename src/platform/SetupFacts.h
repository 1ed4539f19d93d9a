#pragma once
// What only the platform can say about this computer for the setup guide: which
// browsers are installed, and whether the permissions the desktop application needs
// are granted. A permission this program cannot know is reported as unknown (nothing),
// never guessed: macOS keeps such permissions per application bundle, and Linux has no
// such permissions at all. Thread-safe; throws nothing.
#include <optional>
#include <string>
#include <vector>

namespace brell::SetupFacts {

// The browsers that can run the companion extension and are installed for this user,
// by the names BrowserFolders uses ("Google Chrome", "Chromium"). Linux: the browser's
// program on PATH, or its profile in the configuration folder. macOS: its application
// in /Applications or ~/Applications.
std::vector<std::string> installedBrowsers();

// Whether the application may read the selection (the Accessibility permission).
std::optional<bool> accessibilityPermitted();

// Whether the application may read the screen (the Screen Recording permission).
std::optional<bool> screenRecordingPermitted();

// Whether the system must still ask the user before the application may ask the
// browser for the page address (macOS's Automation permission; Linux has none).
std::optional<bool> browserNeedsAsking();

} // namespace brell::SetupFacts
