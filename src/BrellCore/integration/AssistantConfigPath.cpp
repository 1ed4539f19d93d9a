#include "BrellCore/integration/AssistantConfigPath.h"

#include <vector>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/StandardPath.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::AssistantConfigPath {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// The brell entry of a parsed configuration, or null.
Json* brellEntry(Json& config) {
    if (!config.is_object()) {
        return nullptr;
    }
    auto servers = config.find("mcpServers");
    if (servers == config.end() || !servers->is_object()) {
        return nullptr;
    }
    auto entry = servers->find("brell");
    if (entry == servers->end() || !entry->is_object()) {
        return nullptr;
    }
    return &*entry;
}

// A double-quoted TOML value after its opening quote: up to the first quote that is not
// escaped, "\\" read as one backslash and "\"" as a quote; other escapes stay as written.
std::optional<std::string> basicString(std::string_view rest) {
    std::string out;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') {
            return out;
        }
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
            out += rest[++i];
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

struct Planned {
    ManifestRepair outcome;
    std::optional<std::string> bytes;
};

Planned plannedClaudeDesktop(const std::string& configURL, const std::string& currentPath) {
    std::optional<std::string> bytes;
    try {
        bytes = FileSystem::read(configURL);
    } catch (const Error&) {
    }
    if (!bytes) {
        return {ManifestRepair::missing(), std::nullopt};
    }
    auto config = JsonText::parse(*bytes);
    Json* entry = config ? brellEntry(*config) : nullptr;
    auto command = entry ? JsonText::string(JsonText::member(*entry, "command")) : std::nullopt;
    if (!command) {
        return {ManifestRepair::missing(), std::nullopt};
    }
    std::string home = Environment::homeFolder();
    std::string standardCommand = StandardPath::standardize(*command, home);
    std::string standardCurrent = StandardPath::standardize(currentPath, home);
    if (standardCommand == standardCurrent) {
        return {ManifestRepair::current(), std::nullopt};
    }
    // On Linux the executable is "brell", not "BRELL": an executable of the running copy's
    // own name is ours too.
    bool ours = looksLikeBRELLBinary(*command) ||
                FileSystem::fileName(standardCommand) == FileSystem::fileName(standardCurrent);
    if (!ours || JsonText::member(*entry, "args") != Json::array({"--mcp"})) {
        return {ManifestRepair::foreign(), std::nullopt};
    }
    (*entry)["command"] = currentPath;
    try {
        return {ManifestRepair::repaired(*command), config->dump(2) + "\n"};
    } catch (const std::exception& e) {
        return {ManifestRepair::failed(e.what()), std::nullopt};
    }
}

} // namespace

std::optional<std::string> jsonCommand(std::string_view data) {
    auto config = JsonText::parse(data);
    Json* entry = config ? brellEntry(*config) : nullptr;
    return entry ? JsonText::string(JsonText::member(*entry, "command")) : std::nullopt;
}

std::optional<std::string> tomlCommand(std::string_view text) {
    bool inside = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        auto end = rest.find_first_of("\r\n");
        std::string_view line = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.starts_with("[")) {
            inside = line == "[mcp_servers.brell]";
            continue;
        }
        if (!inside || !line.starts_with("command")) {
            continue;
        }
        auto equals = line.find('=');
        if (equals == std::string_view::npos || trimmed(line.substr(0, equals)) != "command") {
            continue;
        }
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.starts_with('"')) {
            return basicString(value.substr(1));
        }
        if (value.starts_with('\'')) {
            auto close = value.find('\'', 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            return std::string(value.substr(1, close - 1));
        }
        // A bare value ends at a comment; nothing before the comment is no command, never
        // the comment's own words.
        std::string_view bare = trimmed(value.substr(0, value.find('#')));
        if (bare.empty()) {
            return std::nullopt;
        }
        return std::string(bare);
    }
    return std::nullopt;
}

ConnectionPath status(const std::optional<std::string>& command, const std::string& currentPath,
                      const std::function<bool(const std::string&)>& fileExists) {
    if (!command || command->empty()) {
        return ConnectionPath::notFound();
    }
    if (StandardPath::same(*command, currentPath)) {
        return ConnectionPath::current();
    }
    return ConnectionPath::stale(*command, fileExists(*command));
}

bool looksLikeBRELLBinary(std::string_view path) {
    return path.ends_with(".app/Contents/MacOS/BRELL") || FileSystem::fileName(std::string(path)) == "BRELL";
}

ManifestRepair repairClaudeDesktop(const std::string& configURL, const std::string& currentPath) {
    Planned p = plannedClaudeDesktop(configURL, currentPath);
    if (!p.bytes) {
        return p.outcome;
    }
    // The backup is a convenience: failing to write it does not stop the repair.
    std::string backup = Environment::join(FileSystem::parentFolder(configURL), backupName);
    try {
        FileSystem::remove(backup);
        if (auto previous = FileSystem::read(configURL)) {
            FileSystem::writeAtomically(backup, *previous);
        }
    } catch (const Error&) {
    }
    try {
        FileSystem::writeAtomically(configURL, *p.bytes);
    } catch (const std::exception& e) {
        return ManifestRepair::failed(e.what());
    }
    return p.outcome;
}

ManifestRepair planClaudeDesktop(const std::string& configURL, const std::string& currentPath) {
    return plannedClaudeDesktop(configURL, currentPath).outcome;
}

} // namespace brell::AssistantConfigPath
