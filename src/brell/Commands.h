#pragma once
// The command groups of the brell application. Each group adds its subcommands to the
// application; their callbacks run the command and throw CommandError for failures the
// user can act on.
#include <string>

namespace CLI {
class App;
}

namespace brell {

class AppContext;
struct Project;

void registerCommands(CLI::App& app, AppContext& context);

void registerMemoryCommands(CLI::App& app, AppContext& context); // memory, origins
void registerBoardCommands(CLI::App& app, AppContext& context);  // board
void registerImportCommands(CLI::App& app, AppContext& context); // import transcript, import comments
void registerSeenCommand(CLI::App& app, AppContext& context);    // seen
void registerScreenCommands(CLI::App& app, AppContext& context); // screen
// screen summarize, catch-up; after registerScreenCommands.
void registerSummaryCommands(CLI::App& app, AppContext& context);
void registerInstallCommands(CLI::App& app, AppContext& context); // install, uninstall, doctor
void registerSearchCommands(CLI::App& app, AppContext& context);  // search, ask
void registerMomentsCommands(CLI::App& app, AppContext& context); // moments
void registerBriefCommands(CLI::App& app, AppContext& context);   // brief
void registerShareCommands(CLI::App& app, AppContext& context);   // share
void registerRepairCommands(CLI::App& app, AppContext& context);  // repair
void registerVisualCommands(CLI::App& app, AppContext& context);  // visual
void registerSourcesCommands(CLI::App& app, AppContext& context); // sources
void registerConnectCommands(CLI::App& app, AppContext& context); // connect
// memory retention, purge, clear, backup, restore; after registerMemoryCommands.
void registerRetentionCommands(CLI::App& app, AppContext& context);
void registerBrellsCommands(CLI::App& app, AppContext& context);   // brells
void registerTaskCommands(CLI::App& app, AppContext& context);     // task
void registerInsightsCommands(CLI::App& app, AppContext& context); // insights

// The brell (project) a command names, by its id or, ignoring case and accents, by its
// name; archived ones included. Throws CommandError when none or several match.
Project findBrell(AppContext& context, const std::string& idOrName);

// brell doctor's lines on where this copy runs from and each of its links.
void printLinkStatus(AppContext& context);
void registerShortcutCommands(CLI::App& app, AppContext& context); // shortcut check, shortcut list
void registerHelpCommand(CLI::App& app, AppContext& context);      // help
void registerSetupCommand(CLI::App& app, AppContext& context);     // setup
void registerAICommands(CLI::App& app, AppContext& context);       // ai status, ai use, explain

} // namespace brell
