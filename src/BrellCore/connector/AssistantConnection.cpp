#include "BrellCore/connector/AssistantConnection.h"

#include "platform/Environment.h"
#include "util/Json.h"

namespace brell {

std::vector<AssistantConnection> AssistantConnection::all(const std::string& home,
                                                          const std::string& configurationFolder,
                                                          const std::string& codexFolder) {
    using Environment::join;
    std::string claude = join(home, ".claude");
    std::string codex = codexFolder.empty() ? join(home, ".codex") : codexFolder;
    std::string gemini = join(home, ".gemini");
    std::string desktop = join(configurationFolder, "Claude");
    return {
        {"claude-code", "Claude Code", join(home, ".claude.json"), Format::json, join(claude, "skills"), claude},
        {"codex", "Codex", join(codex, "config.toml"), Format::toml, join(codex, "skills"), codex},
        {"gemini-cli", "Gemini CLI", join(gemini, "settings.json"), Format::json, std::nullopt, gemini},
        {"claude-desktop", "Claude Desktop", join(desktop, "claude_desktop_config.json"), Format::json, std::nullopt,
         desktop},
    };
}

std::optional<std::string> AssistantConnection::tomlString(std::string_view text) {
    if (text.find_first_of("\n\r") != std::string_view::npos) {
        return std::nullopt;
    }
    if (text.find('"') == std::string_view::npos) {
        std::string out = "\"";
        for (char c : text) {
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return out + "\"";
    }
    if (text.find('\'') == std::string_view::npos) {
        return "'" + std::string(text) + "'";
    }
    return std::nullopt;
}

std::optional<std::string> AssistantConnection::entry(const std::string& executable) const {
    if (format == Format::toml) {
        auto command = tomlString(executable);
        if (!command) {
            return std::nullopt;
        }
        return "[mcp_servers.brell]\ncommand = " + *command + "\nargs = [\"--mcp\"]\n";
    }
    OrderedJson server = {{"command", executable}, {"args", OrderedJson::array({"--mcp"})}};
    OrderedJson file = {{"mcpServers", {{"brell", server}}}};
    return file.dump(2, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

} // namespace brell
