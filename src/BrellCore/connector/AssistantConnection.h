#pragma once
// How each AI assistant this system knows registers the connector: the configuration
// file it reads, the entry that file takes (a "brell" server started as
// `<executable> --mcp`), and the skills folder the skill file goes into when the
// assistant reads one. Claude Code, Codex, Gemini CLI and Claude Desktop, in that order.
//
// A plain value; the functions are pure (the folders are given, nothing is read or
// written). Thread-safe; throws nothing (only std::bad_alloc).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brell {

struct AssistantConnection {
    enum class Format { json, toml };

    std::string id;         // on the command line: "claude-code", "codex", "gemini-cli", "claude-desktop"
    std::string name;       // "Claude Code", "Codex", "Gemini CLI", "Claude Desktop"
    std::string configFile; // where the assistant reads its servers
    Format format;          // the file's language
    std::optional<std::string> skillsFolder; // where it reads skills, when it does
    std::string assistantFolder;             // its own folder; present when it is installed

    // The four assistants, their files under `home` (the user's home folder), for
    // Claude Desktop `configurationFolder` (the platform's per-user configuration
    // folder, Environment::configurationFolder) and for Codex `codexFolder` (its
    // CODEX_HOME; `home`/.codex when empty).
    static std::vector<AssistantConnection> all(const std::string& home, const std::string& configurationFolder,
                                                const std::string& codexFolder = "");

    // The text to add to the configuration file so that the assistant starts
    // `executable` with the single argument "--mcp". JSON: {"mcpServers": {"brell":
    // {"command": …, "args": ["--mcp"]}}}, indented by two spaces, "/" not escaped.
    // TOML: the table [mcp_servers.brell] with `command` and `args`. Ends with a line
    // feed. Nothing when the path cannot be written as a TOML string (tomlString).
    std::optional<std::string> entry(const std::string& executable) const;

    // `text` as a TOML string that the connector's configuration reader reads back
    // exactly: in double quotes with backslashes doubled, or in single quotes when it
    // holds a double quote; nothing when it holds both quotes or a line break.
    static std::optional<std::string> tomlString(std::string_view text);
};

} // namespace brell
