#include "BrellCore/integration/AssistantConnections.h"

#include <algorithm>

namespace brell::AssistantConnections {

using RelocationRepair::ManualConnection;

std::vector<Link> check(const RelocationPaths& paths, const RelocationRepair::FileExists& fileExists) {
    std::vector<Link> links;
    for (ManualConnection connection : RelocationRepair::allCases) {
        links.push_back({connection, std::string(RelocationRepair::displayName(connection)),
                         RelocationRepair::configFile(connection, paths),
                         RelocationRepair::status(connection, paths, fileExists)});
    }
    return links;
}

std::string shellQuoted(const std::string& text) {
    bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
    });
    if (plain) {
        return text;
    }
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string connectCommand(ManualConnection connection, const std::string& appBinary) {
    std::string path = shellQuoted(appBinary);
    switch (connection) {
    case ManualConnection::claudeCode:
        return "claude mcp add --scope user brell -- " + path + " --mcp";
    case ManualConnection::codex:
        return "codex mcp add brell -- " + path + " --mcp";
    case ManualConnection::gemini:
        return "gemini mcp add --scope user brell " + path + " -- --mcp";
    }
    return "";
}

std::string removeCommand(ManualConnection connection) {
    switch (connection) {
    case ManualConnection::claudeCode:
        return "claude mcp remove --scope user brell";
    case ManualConnection::codex:
        return "codex mcp remove brell";
    case ManualConnection::gemini:
        return "gemini mcp remove --scope user brell";
    }
    return "";
}

std::optional<std::string> fixCommand(const Link& link, const std::string& appBinary) {
    switch (link.status.kind) {
    case ConnectionPath::Kind::current:
        return std::nullopt;
    case ConnectionPath::Kind::notFound:
        return connectCommand(link.connection, appBinary);
    case ConnectionPath::Kind::stale:
        break;
    }
    return removeCommand(link.connection) + " && " + connectCommand(link.connection, appBinary);
}

std::string state(const Link& link, const std::string& appBinary) {
    std::string fix = fixCommand(link, appBinary).value_or("");
    switch (link.status.kind) {
    case ConnectionPath::Kind::current:
        return "connected to this copy of BRELL.";
    case ConnectionPath::Kind::notFound:
        return "not connected. Connect with: " + fix;
    case ConnectionPath::Kind::stale:
        break;
    }
    if (link.status.exists) {
        return "uses another copy of BRELL (" + link.status.oldPath + "). To use this one: " + fix;
    }
    return "uses a copy of BRELL that's gone (" + link.status.oldPath + "). Reconnect with: " + fix;
}

std::string describe(const Link& link, const std::string& appBinary) {
    return link.name + ": " + state(link, appBinary);
}

} // namespace brell::AssistantConnections
