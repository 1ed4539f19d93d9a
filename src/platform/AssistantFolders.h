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

// $CODEX_HOME/config.toml when CODEX_HOME is set and absolute, else ~/.codex/config.toml.
std::string codexConfig();

// ~/.gemini/settings.json.
std::string geminiConfig();

} // namespace brell::AssistantFolders
