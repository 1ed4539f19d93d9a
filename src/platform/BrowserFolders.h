#pragma once
// Where the browsers look for native-messaging host manifests of the current user.
#include <string>
#include <vector>

namespace brell::BrowserFolders {

struct Browser {
    std::string name;   // "Google Chrome", "Chromium"
    std::string folder; // the NativeMessagingHosts folder
};

// Linux: ~/.config/google-chrome and ~/.config/chromium (XDG_CONFIG_HOME honoured);
// macOS: ~/Library/Application Support/Google/Chrome and .../Chromium.
std::vector<Browser> nativeMessagingFolders();

// The absolute path of the running executable, or "" when the system cannot say.
std::string currentExecutable();

} // namespace brell::BrowserFolders
