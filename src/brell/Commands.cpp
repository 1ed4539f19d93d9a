#include "brell/Commands.h"

#include <map>

#include <CLI/CLI.hpp>

namespace brell {

void registerCommands(CLI::App& app, AppContext& context) {
    registerMemoryCommands(app, context);
    registerBoardCommands(app, context);
    registerImportCommands(app, context);
    registerSeenCommand(app, context);
    registerScreenCommands(app, context);
    registerSummaryCommands(app, context);
    registerInstallCommands(app, context);
    registerSearchCommands(app, context);
    registerMomentsCommands(app, context);
    registerBriefCommands(app, context);
    registerShareCommands(app, context);
    registerRepairCommands(app, context);
    registerVisualCommands(app, context);
    registerSourcesCommands(app, context);
    registerRetentionCommands(app, context);
    registerBrellsCommands(app, context);
    registerTaskCommands(app, context);
    registerInsightsCommands(app, context);
    registerShortcutCommands(app, context);
    registerHelpCommand(app, context);
    registerSetupCommand(app, context);
    registerAICommands(app, context);
    registerConnectCommands(app, context);

    // `brell --help` lists the commands by what they work on.
    // One command a line, so that adding a command never touches its neighbours.
    // clang-format off
    static const std::map<std::string, std::string> groups = {
        {"memory", "Memory"},
        {"origins", "Memory"},
        {"import", "Memory"},
        {"screen", "Memory"},
        {"seen", "Recall"},
        {"search", "Recall"},
        {"ask", "Recall"},
        {"moments", "Recall"},
        {"board", "Board"},
        {"share", "Assistants"},
        {"connect", "Assistants"},
        {"install", "Setup"},
        {"uninstall", "Setup"},
        {"doctor", "Setup"},
        {"repair", "Setup"},
        {"visual", "Memory"},
        {"sources", "Memory"},
        {"brells", "Brells"},
        {"task", "Brells"},
        {"insights", "Brells"},
        {"setup", "Setup"},
        {"shortcut", "Setup"},
        {"help", "Help"},
        {"brief", "Recall"},
        {"ai", "AI"},
        {"explain", "AI"},
        {"catch-up", "AI"},
    };
    // clang-format on
    for (auto* sub : app.get_subcommands({})) {
        auto group = groups.find(sub->get_name());
        sub->group(group == groups.end() ? "Other" : group->second);
    }
}

} // namespace brell
