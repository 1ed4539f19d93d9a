#include "platform/AssistantFolders.h"

#include "platform/Environment.h"

namespace brell::AssistantFolders {

std::string claudeDesktopConfig() {
    // Both systems keep it in the configuration folder: ~/Library/Application Support on
    // macOS, the XDG configuration folder on Linux.
    return Environment::join(Environment::configurationFolder(), "Claude/claude_desktop_config.json");
}

std::string claudeCodeConfig() {
    return Environment::join(Environment::homeFolder(), ".claude.json");
}

std::string codexFolder() {
    auto codexHome = Environment::nonEmptyValue("CODEX_HOME");
    if (codexHome && codexHome->front() == '/') {
        return *codexHome;
    }
    return Environment::join(Environment::homeFolder(), ".codex");
}

std::string codexConfig() {
    return Environment::join(codexFolder(), "config.toml");
}

std::string geminiConfig() {
    return Environment::join(Environment::homeFolder(), ".gemini/settings.json");
}

} // namespace brell::AssistantFolders
