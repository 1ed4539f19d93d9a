#include "BrellCore/integration/RelocationRepair.h"

#include "BrellCore/integration/AssistantConfigPath.h"
#include "BrellCore/integration/ChromeHostManifest.h"
#include "platform/FileSystem.h"
#include "platform/StandardPath.h"
#include "util/Error.h"
#include "util/Text.h"

namespace brell::RelocationRepair {

std::string_view displayName(ManualConnection connection) {
    switch (connection) {
    case ManualConnection::claudeCode:
        return "Claude Code";
    case ManualConnection::codex:
        return "Codex";
    case ManualConnection::gemini:
        return "Gemini CLI";
    }
    return "";
}

const std::string& configFile(ManualConnection connection, const RelocationPaths& paths) {
    switch (connection) {
    case ManualConnection::codex:
        return paths.codexConfig;
    case ManualConnection::gemini:
        return paths.geminiConfig;
    case ManualConnection::claudeCode:
        break;
    }
    return paths.claudeCodeConfig;
}

std::optional<std::string> configuredCommand(ManualConnection connection, const RelocationPaths& paths) {
    std::optional<std::string> bytes;
    try {
        bytes = FileSystem::read(configFile(connection, paths));
    } catch (const Error&) {
    }
    if (!bytes) {
        return std::nullopt;
    }
    if (connection == ManualConnection::codex) {
        if (!Text::isValidUTF8(*bytes)) {
            return std::nullopt;
        }
        return AssistantConfigPath::tomlCommand(*bytes);
    }
    return AssistantConfigPath::jsonCommand(*bytes);
}

RelocationReport run(const RelocationPaths& paths, bool repointLinks, const FileExists& fileExists, Mode mode) {
    bool apply = mode == Mode::apply;
    RelocationReport report;
    report.companion = apply ? CompanionSync::sync(paths.companionSource, paths.companionFolder)
                             : CompanionSync::plan(paths.companionSource, paths.companionFolder);
    if (!repointLinks) {
        return report;
    }
    auto manifest = [&](const std::string& file) {
        return apply ? ChromeHostManifest::repair(file, paths.hostBinary)
                     : ChromeHostManifest::plan(file, paths.hostBinary);
    };
    report.chrome = manifest(paths.chromeManifest);
    for (const auto& other : paths.otherBrowserManifests) {
        report.otherBrowsers.push_back({other.browser, other.file, manifest(other.file)});
    }
    report.claudeDesktop = apply ? AssistantConfigPath::repairClaudeDesktop(paths.claudeDesktopConfig, paths.appBinary)
                                 : AssistantConfigPath::planClaudeDesktop(paths.claudeDesktopConfig, paths.appBinary);
    for (ManualConnection connection : allCases) {
        auto command = configuredCommand(connection, paths);
        if (!command || command->empty() || StandardPath::same(*command, paths.appBinary) || fileExists(*command)) {
            continue;
        }
        report.needsReconnect.emplace_back(displayName(connection));
    }
    return report;
}

ConnectionPath status(ManualConnection connection, const RelocationPaths& paths, const FileExists& fileExists) {
    return AssistantConfigPath::status(configuredCommand(connection, paths), paths.appBinary, fileExists);
}

} // namespace brell::RelocationRepair
