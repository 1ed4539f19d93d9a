#pragma once
// Where the AI assistants on this computer keep the configuration files that register
// BRELL's connector. Every location here is the assistant's own choice on this operating
// system; BRELL only reads them, except Claude Desktop's, which it repairs after a move.
// Stateless; reads only the environment; throws nothing.
#include <string>

namespace brell::AssistantFolders {

// Linux: $XDG_CONFIG_HOME/Claude/claude_desktop_config.json (~/.config when unset);
// macOS: ~/Library/Application Support/Claude/claude_desktop_config.json.
std::string claudeDesktopConfig();

// ~/.claude.json.
std::string claudeCodeConfig();

// Codex's own folder: $CODEX_HOME when it is set and absolute, else ~/.codex.
std::string codexFolder();

// config.toml in codexFolder().
std::string codexConfig();

// ~/.gemini/settings.json.
std::string geminiConfig();

} // namespace brell::AssistantFolders
