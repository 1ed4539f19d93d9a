// brell connect [ASSISTANT] [--print]: how to register the assistant connector
// (`brell --mcp`) with Claude Code, Codex, Gemini CLI and Claude Desktop: whether each
// one's entry already points at this copy, the assistant's own command that connects or
// reconnects it, the file it reads and the entry it takes, with this copy's absolute
// path. Without --print it also installs the skill file into the skills folder of each
// assistant that has one. It never writes an assistant's configuration file.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "BrellCore/connector/AssistantConnection.h"
#include "BrellCore/connector/AssistantGuide.h"
#include "BrellCore/integration/AssistantConfigPath.h"
#include "BrellCore/integration/AssistantConnections.h"
#include "BrellCore/integration/RelocationPaths.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/AssistantFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/InstallLayout.h"
#include "util/Error.h"

namespace brell {
namespace {

struct ConnectOptions {
    std::string assistant; // empty: every assistant
    bool print = false;
};

std::vector<std::string> assistantIDs() {
    std::vector<std::string> ids;
    for (const auto& each : AssistantConnection::all("", "")) {
        ids.push_back(each.id);
    }
    return ids;
}

std::string indented(const std::string& text, const std::string& indent) {
    std::string out;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        std::string line = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
        out += indent + line + "\n";
        if (end == std::string::npos) {
            break;
        }
        from = end + 1;
    }
    return out;
}

// Installs the skill and says what happened; the refusal's sentence when the folder
// holds someone else's skill.
std::optional<std::string> installSkill(AppContext& context, const AssistantConnection& assistant, bool named) {
    if (!assistant.skillsFolder) {
        return std::nullopt;
    }
    if (!named && !FileSystem::isFolder(assistant.assistantFolder)) {
        context.out << "  Skill: not installed, as " << assistant.assistantFolder
                    << " does not exist; run brell connect " << assistant.id << " once " << assistant.name
                    << " is set up.\n";
        return std::nullopt;
    }
    try {
        std::string file = AssistantGuide::installSkill(*assistant.skillsFolder);
        context.out << "  Skill: installed at " << file << "\n";
        return std::nullopt;
    } catch (const AssistantGuide::SkillError& e) {
        context.out << "  Skill: " << e.what() << "\n";
        return std::string(e.what());
    } catch (const Error& e) {
        context.out << "  Skill: could not be installed: " << e.what() << "\n";
        return std::string("The skill file could not be installed: ") + e.what();
    }
}

// Paths read from the assistants' files reach the terminal only through the filter.
std::string shown(const std::string& text) {
    return TextOutput::printable(text);
}

bool isFileThere(const std::string& path) {
    return FileSystem::exists(path);
}

// The hand-connected assistant behind a command-line id; nothing for Claude Desktop.
std::optional<RelocationRepair::ManualConnection> manualConnection(const std::string& id) {
    using RelocationRepair::ManualConnection;
    if (id == "claude-code") {
        return ManualConnection::claudeCode;
    }
    if (id == "codex") {
        return ManualConnection::codex;
    }
    if (id == "gemini-cli") {
        return ManualConnection::gemini;
    }
    return std::nullopt;
}

// Claude Desktop has no command of its own to connect a server: brell repair repoints
// an entry that is ours, anything else is replaced by hand.
std::string claudeDesktopState(const RelocationPaths& paths) {
    std::optional<std::string> command;
    try {
        if (auto bytes = FileSystem::read(paths.claudeDesktopConfig)) {
            command = AssistantConfigPath::jsonCommand(*bytes);
        }
    } catch (const Error&) {
    }
    ConnectionPath status = AssistantConfigPath::status(command, paths.appBinary, isFileThere);
    switch (status.kind) {
    case ConnectionPath::Kind::current:
        return "connected to this copy of BRELL.";
    case ConnectionPath::Kind::notFound:
        return "not connected. Add the entry below, then reopen Claude Desktop.";
    case ConnectionPath::Kind::stale:
        break;
    }
    ManifestRepair plan = AssistantConfigPath::planClaudeDesktop(paths.claudeDesktopConfig, paths.appBinary);
    if (plan.kind != ManifestRepair::Kind::repaired) {
        return "uses " + status.oldPath +
               ", which brell repair leaves alone. To use this copy, replace that entry with the one below, then "
               "reopen Claude Desktop.";
    }
    if (status.exists) {
        return "uses another copy of BRELL (" + status.oldPath + "). To use this one: brell repair";
    }
    return "uses a copy of BRELL that's gone (" + status.oldPath + "). Reconnect with: brell repair";
}

void connect(AppContext& context, const ConnectOptions& options) {
    InstallLayout::Copy copy = InstallLayout::current();
    if (copy.appBinary.empty()) {
        throw CommandError("Could not tell where brell runs from; run it by its full path.");
    }
    const std::string& executable = copy.appBinary;
    RelocationPaths paths = RelocationPaths::forThisComputer(copy);
    std::vector<AssistantConnections::Link> links = AssistantConnections::check(paths, isFileThere);
    std::vector<AssistantConnection> chosen;
    for (auto& each : AssistantConnection::all(Environment::homeFolder(), Environment::configurationFolder(),
                                               AssistantFolders::codexFolder())) {
        if (options.assistant.empty() || each.id == options.assistant) {
            chosen.push_back(std::move(each));
        }
    }
    std::optional<std::string> failure;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const AssistantConnection& assistant = chosen[i];
        auto entry = assistant.entry(executable);
        if (!entry) {
            throw CommandError("The path " + executable + " cannot be written into " + assistant.name +
                               "'s configuration; move brell to a folder without quotes in its name.");
        }
        if (options.print) {
            if (chosen.size() > 1) {
                context.out << (i > 0 ? "\n" : "") << "# " << assistant.name << ": " << assistant.configFile << "\n";
            }
            context.out << *entry;
            continue;
        }
        std::string configFile = assistant.configFile;
        std::string state;
        if (auto manual = manualConnection(assistant.id)) {
            for (const auto& link : links) {
                if (link.connection == *manual) {
                    // Where the assistant itself reads its servers (Codex honours CODEX_HOME).
                    configFile = link.configFile;
                    state = AssistantConnections::state(link, executable);
                }
            }
        } else {
            state = claudeDesktopState(paths);
        }
        context.out << (i > 0 ? "\n" : "") << assistant.name << "\n"
                    << "  Status: " << shown(state) << "\n"
                    << "  Add this to " << shown(configFile)
                    << (assistant.format == AssistantConnection::Format::json ? " (merge it into the object there)"
                                                                              : "")
                    << ":\n"
                    << indented(*entry, "    ");
        if (auto refused = installSkill(context, assistant, !options.assistant.empty())) {
            failure = refused;
        }
    }
    if (!options.print) {
        context.out << "\nThen restart the assistant. It reads only what you share: brell share status.\n";
    }
    if (failure) {
        throw CommandError(*failure);
    }
}

} // namespace

void registerConnectCommands(CLI::App& app, AppContext& context) {
    auto options = std::make_shared<ConnectOptions>();
    auto* command =
        app.add_subcommand("connect", "Show how to register the assistant connector (brell --mcp) with an AI "
                                      "assistant, and install its skill file");
    command
        ->add_option("assistant", options->assistant, "claude-code, codex, gemini-cli or claude-desktop (default: all)")
        ->check(CLI::IsMember(assistantIDs()));
    command->add_flag("--print", options->print, "Print only the configuration entry, and install nothing");
    command->callback([&context, options] { connect(context, *options); });
}

} // namespace brell
