#include "BrellMemory/screen/ScreenPolicy.h"

#include "BrellMemory/recall/WordScan.h"
#include "util/Text.h"

namespace brell::ScreenPolicy {

const BundleSet& alwaysExcluded() {
    static const BundleSet set = {
        "com.1password.1password",  "com.agilebits.onepassword7",   "com.agilebits.onepassword-osx",
        "com.bitwarden.desktop",    "com.lastpass.LastPass",        "com.dashlane.dashlanephonefinal",
        "com.apple.keychainaccess", "com.apple.Passwords",          "dev.brell.BRELL",
        "com.apple.loginwindow",    "com.apple.ScreenSaver.Engine",
    };
    return set;
}

const BundleSet& messagingApps() {
    static const BundleSet set = {
        "com.apple.mail",        "com.tinyspeck.slackmacgap", "com.microsoft.teams2",       "com.microsoft.teams",
        "com.microsoft.Outlook", "com.apple.MobileSMS",       "net.whatsapp.WhatsApp",      "desktop.WhatsApp",
        "ru.keepcoder.Telegram", "com.hnc.Discord",           "com.readdle.smartemail-Mac", "com.superhuman.electron",
        "com.facebook.archon",   "com.spark.desktop",
    };
    return set;
}

const BundleSet& assistantApps() {
    static const BundleSet set = {
        "com.anthropic.claudefordesktop", "com.openai.chat", "com.openai.codex", "com.google.GeminiMacOS", "ai.x.grok",
    };
    return set;
}

const Regex& messagingTitle() {
    static const Regex pattern("(gmail|inbox|outlook|slack|teams|messenger|whatsapp|telegram|discord|mail)",
                               Regex::Case::insensitive);
    return pattern;
}

bool isMessaging(std::string_view bundleID, std::string_view title) {
    return messagingApps().contains(bundleID) || messagingTitle().find(title);
}

std::unordered_set<std::string> words(std::string_view text) {
    std::unordered_set<std::string> out;
    WordScan::forEachWord(text, [&](std::string_view word) {
        if (word.size() < 3) {
            return; // fewer bytes than 3 cannot hold 3 characters
        }
        bool ascii = true;
        for (char c : word) {
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        }
        if (ascii || Text::characterCount(word) >= 3) {
            out.emplace(word);
        }
    });
    return out;
}

bool similar(std::string_view a, std::string_view b) {
    auto first = words(a);
    auto second = words(b);
    if (first.empty() && second.empty()) {
        return true;
    }
    const auto& smaller = first.size() <= second.size() ? first : second;
    const auto& larger = first.size() <= second.size() ? second : first;
    std::size_t common = 0;
    for (const auto& word : smaller) {
        common += larger.contains(word) ? 1 : 0;
    }
    std::size_t all = first.size() + second.size() - common;
    // Whole numbers, so 85 of 100 lands exactly on the threshold.
    return all > 0 && common * 100 >= all * static_cast<std::size_t>(similarPercent);
}

} // namespace brell::ScreenPolicy
