#pragma once
// Reading BRELL's connector entry out of the AI assistants' configuration files, telling
// whether it points at the running copy, and repairing the one file BRELL may rewrite by
// itself, Claude Desktop's. The entry is the server "brell": in JSON files
// "mcpServers" → "brell" → "command" (with "args" ["--mcp"]), in Codex's TOML file the
// table [mcp_servers.brell], key command. Stateless; throws nothing: malformed or
// unreadable files count as having no command.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/integration/ConnectionPath.h"
#include "BrellCore/integration/ManifestRepair.h"

namespace brell::AssistantConfigPath {

// The backup written beside Claude Desktop's file before each repair.
inline constexpr const char* backupName = "claude_desktop_config.before-brell.json";

// The "mcpServers" → "brell" → "command" text of a JSON configuration file's bytes.
std::optional<std::string> jsonCommand(std::string_view data);

// The `command` of the [mcp_servers.brell] table of a TOML configuration file: a line
// reader for that one table, not a TOML parser. A double-quoted value reads "\\" as one
// backslash and "\"" as a quote; a single-quoted value is literal; a bare value ends at
// "#". An unterminated quoted value, or a bare value that is empty, gives none at once.
std::optional<std::string> tomlCommand(std::string_view text);

// notFound for no command or an empty one; current when `command` is the same path as
// `currentPath` (compared in standard form); otherwise stale with the command as written
// and whether `fileExists(command)`.
ConnectionPath status(const std::optional<std::string>& command, const std::string& currentPath,
                      const std::function<bool(const std::string&)>& fileExists);

// Whether the path's text names BRELL's executable: it ends with
// ".app/Contents/MacOS/BRELL" or its last component is "BRELL".
bool looksLikeBRELLBinary(std::string_view path);

// Points Claude Desktop's "brell" entry at `currentPath`: repaired(old command) after a
// backup of the previous file; current when it already points there; foreign when the
// command is not BRELL's executable (looksLikeBRELLBinary, or the same file name as
// `currentPath`) or its "args" are not exactly ["--mcp"]; missing when the file or the
// entry is absent or unreadable; failed when writing fails. Only a repair writes.
ManifestRepair repairClaudeDesktop(const std::string& configURL, const std::string& currentPath);

// What repairClaudeDesktop() would return, without writing anything.
ManifestRepair planClaudeDesktop(const std::string& configURL, const std::string& currentPath);

} // namespace brell::AssistantConfigPath
