// brell shortcut check …, brell shortcut list: judging a global shortcut before the
// user picks it, and the shortcuts BRELL already has.
#include <CLI/CLI.hpp>

#include "BrellCore/shortcuts/AppCommand.h"
#include "BrellCore/shortcuts/GlobalShortcutAction.h"
#include "BrellCore/shortcuts/ShortcutRules.h"
#include "BrellCore/shortcuts/ShortcutSetting.h"
#include "BrellCore/shortcuts/ShortcutText.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

// Each action's shortcut as the settings hold it. An earlier version's preset is
// carried over into the new key once, as the settings' lifecycle asks; when the file
// cannot be written the carry-over is simply tried again next time.
std::map<GlobalShortcutAction, ShortcutSetting::Resolved> currentShortcuts(AppSettings& settings) {
    std::map<GlobalShortcutAction, ShortcutSetting::Resolved> current;
    bool changed = false;
    auto all = ShortcutSetting::resolveAll([&settings](const std::string& key) { return settings.string(key); });
    for (const auto& [action, resolution] : all) {
        if (resolution.migrated) {
            settings.set(GlobalShortcutActions::defaultsKey(action), ShortcutSetting::storageValue(resolution.value));
            changed = true;
        }
        current.emplace(action, resolution.value);
    }
    if (changed) {
        try {
            settings.save();
        } catch (const FileError&) {
        }
    }
    return current;
}

void print(AppContext& context, const Json& json) {
    context.out << json.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::string padded(const std::string& text, std::size_t width) {
    std::size_t n = Text::characterCount(text);
    return text + std::string(n < width ? width - n : 0, ' ');
}

struct CheckOptions {
    std::string shortcut;
    std::string action = "fileSelection";
    bool json = false;
};

void runCheck(AppContext& context, const CheckOptions& options) {
    auto parsed = ShortcutText::parse(options.shortcut);
    if (!parsed.shortcut) {
        throw CLI::ValidationError("SHORTCUT", TextOutput::oneLine(parsed.refusal));
    }
    const KeyShortcut candidate = *parsed.shortcut;
    const GlobalShortcutAction action = *GlobalShortcutActions::fromRaw(options.action);

    AppSettings settings = AppSettings::load(AppSettings::defaultPath());
    std::map<GlobalShortcutAction, KeyShortcut> others;
    for (const auto& [other, resolved] : currentShortcuts(settings)) {
        if (resolved.shortcut()) {
            others.emplace(other, *resolved.shortcut());
        }
    }
    // The system's own hot-key table belongs to the desktop session of macOS and is
    // not read here; the reserved table covers the system's fixed shortcuts.
    const ShortcutVerdict verdict = ShortcutRules::check(candidate, action, others, {}, AppCommands::allCases());

    const std::string shown = candidate.display();
    const std::string title = GlobalShortcutActions::title(action);
    const char* word = verdict.kind() == ShortcutVerdict::Kind::ok        ? "ok"
                       : verdict.kind() == ShortcutVerdict::Kind::warning ? "warning"
                                                                          : "rejected";
    if (options.json) {
        print(context, {{"shortcut", shown},
                        {"spoken", candidate.spoken()},
                        {"storage", candidate.storageString()},
                        {"action", options.action},
                        {"verdict", word},
                        {"message", verdict.message() ? Json(*verdict.message()) : Json(nullptr)}});
    }
    switch (verdict.kind()) {
    case ShortcutVerdict::Kind::ok:
        if (!options.json) {
            context.out << shown << " (" << candidate.spoken() << ") is acceptable for " << title << ".\n";
        }
        return;
    case ShortcutVerdict::Kind::warning:
        if (!options.json) {
            context.out << shown << " (" << candidate.spoken() << ") is acceptable for " << title
                        << ", with a warning.\n"
                        << *verdict.message() << "\n";
        }
        return;
    case ShortcutVerdict::Kind::rejected:
        throw CommandError(shown + " is rejected for " + title + ": " + *verdict.message());
    }
}

void runList(AppContext& context, bool json) {
    AppSettings settings = AppSettings::load(AppSettings::defaultPath());
    auto current = currentShortcuts(settings);
    if (json) {
        Json global = Json::array();
        for (auto action : GlobalShortcutActions::allCases()) {
            const auto& shortcut = current.at(action).shortcut();
            global.push_back({{"action", GlobalShortcutActions::rawValue(action)},
                              {"title", GlobalShortcutActions::title(action)},
                              {"detail", GlobalShortcutActions::detail(action)},
                              {"shortcut", shortcut ? Json(shortcut->display()) : Json(nullptr)},
                              {"storage", ShortcutSetting::storageValue(current.at(action))}});
        }
        Json commands = Json::array();
        for (auto command : AppCommands::allCases()) {
            commands.push_back({{"command", AppCommands::rawValue(command)},
                                {"title", AppCommands::title(command)},
                                {"menu", AppCommands::menu(command)},
                                {"shortcut", AppCommands::shortcut(command).display()}});
        }
        print(context, {{"global", global}, {"commands", commands}});
        return;
    }
    auto& out = context.out;
    out << "Global shortcuts (they work in every app):\n";
    for (auto action : GlobalShortcutActions::allCases()) {
        const auto& shortcut = current.at(action).shortcut();
        out << "  " << padded(GlobalShortcutActions::title(action), 16)
            << padded(shortcut ? shortcut->display() : "off", 8) << GlobalShortcutActions::detail(action) << "\n";
    }
    std::string menu;
    for (auto command : AppCommands::allCases()) {
        if (AppCommands::menu(command) != menu) {
            menu = AppCommands::menu(command);
            out << "\n" << menu << " menu:\n";
        }
        out << "  " << padded(AppCommands::title(command), 26) << AppCommands::shortcut(command).display() << "\n";
    }
}

} // namespace

void registerShortcutCommands(CLI::App& app, AppContext& context) {
    auto* shortcut =
        app.add_subcommand("shortcut", "Check a global shortcut before you pick it; list BRELL's shortcuts");
    shortcut->require_subcommand(1);

    auto checkOptions = std::make_shared<CheckOptions>();
    auto* check = shortcut->add_subcommand(
        "check", "Say whether a shortcut can be used, and why not (exit 0 acceptable, 1 rejected)");
    check->add_option("SHORTCUT", checkOptions->shortcut, "Like \u2303\u2325\u2318S, cmd+shift+s or Ctrl-Option-Space")
        ->required();
    check->add_option("--for", checkOptions->action, "The action it is for: fileSelection (default) or visualMode")
        ->check(CLI::IsMember({"fileSelection", "visualMode"}));
    check->add_flag("--json", checkOptions->json, "Print the verdict as JSON");
    check->callback([&context, checkOptions] { runCheck(context, *checkOptions); });

    auto listJson = std::make_shared<bool>(false);
    auto* list = shortcut->add_subcommand("list", "List the global shortcuts and the menu commands' shortcuts");
    list->add_flag("--json", *listJson, "Print them as JSON");
    list->callback([&context, listJson] { runList(context, *listJson); });
}

} // namespace brell
