#include "BrellCore/integration/RelocationPaths.h"

#include "BrellCore/integration/ChromeHostManifest.h"
#include "BrellCore/integration/CompanionSync.h"
#include "platform/AssistantFolders.h"
#include "platform/BrowserFolders.h"
#include "platform/Environment.h"

namespace brell {
namespace {

std::string manifestName() {
    return std::string(ChromeHostManifest::hostName) + ".json";
}

} // namespace

RelocationPaths RelocationPaths::standard(const std::string& bundlePath, const std::string& home) {
    using Environment::join;
    RelocationPaths p;
    p.appBinary = join(join(bundlePath, "Contents/MacOS"), "BRELL");
    p.hostBinary = join(join(bundlePath, "Contents/MacOS"), "brell-memory-host");
    p.chromeManifest =
        join(join(home, "Library/Application Support/Google/Chrome/NativeMessagingHosts/"), manifestName());
    p.claudeDesktopConfig = join(home, "Library/Application Support/Claude/claude_desktop_config.json");
    p.claudeCodeConfig = join(home, ".claude.json");
    p.codexConfig = join(home, ".codex/config.toml");
    p.geminiConfig = join(home, ".gemini/settings.json");
    p.companionSource = join(bundlePath, "Contents/Resources/Companion/chrome");
    p.companionFolder = CompanionSync::defaultFolder(home);
    return p;
}

RelocationPaths RelocationPaths::forThisComputer(const InstallLayout::Copy& copy) {
    RelocationPaths p;
    p.appBinary = copy.appBinary;
    p.hostBinary = copy.hostBinary;
    for (const auto& browser : BrowserFolders::nativeMessagingFolders()) {
        std::string file = Environment::join(browser.folder, manifestName());
        if (browser.name == "Google Chrome") {
            p.chromeManifest = file;
        } else {
            p.otherBrowserManifests.push_back({browser.name, file});
        }
    }
    p.claudeDesktopConfig = AssistantFolders::claudeDesktopConfig();
    p.claudeCodeConfig = AssistantFolders::claudeCodeConfig();
    p.codexConfig = AssistantFolders::codexConfig();
    p.geminiConfig = AssistantFolders::geminiConfig();
    p.companionSource = copy.companionSource;
    p.companionFolder = InstallLayout::companionFolder();
    return p;
}

} // namespace brell
