#include "BrellCore/shortcuts/AppCommand.h"

#include <array>

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell::AppCommands {
namespace {

struct Row {
    AppCommand command;
    const char* raw;
    const char* title;
    const char* menu;
    uint32_t key;
    uint32_t modifiers;
};

constexpr uint32_t cmd = KeyModifiers::commandMask;

// In declaration order, so a command's row is rows[command].
constexpr std::array<Row, 26> rows = {{
    {AppCommand::settings, "settings", "Settings\u2026", "BRELL", KeyCode::comma, cmd},
    {AppCommand::hide, "hide", "Hide BRELL", "BRELL", KeyCode::h, cmd},
    {AppCommand::quit, "quit", "Quit BRELL", "BRELL", KeyCode::q, cmd},
    {AppCommand::newBrell, "newBrell", "New Brell", "File", KeyCode::n, cmd},
    {AppCommand::exportBrief, "exportBrief", "Export Brief\u2026", "File", KeyCode::e, cmd},
    {AppCommand::closeWindow, "closeWindow", "Close Window", "File", KeyCode::w, cmd},
    {AppCommand::undo, "undo", "Undo", "Edit", KeyCode::z, cmd},
    {AppCommand::redo, "redo", "Redo", "Edit", KeyCode::z, cmd | KeyModifiers::shiftMask},
    {AppCommand::cut, "cut", "Cut", "Edit", KeyCode::x, cmd},
    {AppCommand::copy, "copy", "Copy", "Edit", KeyCode::c, cmd},
    {AppCommand::paste, "paste", "Paste", "Edit", KeyCode::v, cmd},
    {AppCommand::selectAll, "selectAll", "Select All", "Edit", KeyCode::a, cmd},
    {AppCommand::find, "find", "Find", "Edit", KeyCode::f, cmd},
    {AppCommand::ask, "ask", "Ask BRELL\u2026", "Edit", KeyCode::k, cmd},
    {AppCommand::deleteItem, "deleteItem", "Delete Item\u2026", "Edit", KeyCode::deleteKey, cmd},
    {AppCommand::brells, "brells", "Brells", "View", KeyCode::n1, cmd},
    {AppCommand::activity, "activity", "Activity", "View", KeyCode::n2, cmd},
    {AppCommand::saved, "saved", "Saved", "View", KeyCode::n3, cmd},
    {AppCommand::notes, "notes", "Notes", "View", KeyCode::n4, cmd},
    {AppCommand::evidence, "evidence", "Evidence", "View", KeyCode::n5, cmd},
    {AppCommand::back, "back", "Back", "View", KeyCode::leftBracket, cmd},
    {AppCommand::forward, "forward", "Forward", "View", KeyCode::rightBracket, cmd},
    {AppCommand::inspector, "inspector", "Show or Hide Inspector", "View", KeyCode::i, cmd | KeyModifiers::optionMask},
    {AppCommand::openWindow, "openWindow", "BRELL", "Window", KeyCode::n0, cmd},
    {AppCommand::minimize, "minimize", "Minimize", "Window", KeyCode::m, cmd},
    {AppCommand::keyboardShortcuts, "keyboardShortcuts", "Keyboard Shortcuts", "Help", KeyCode::slash, cmd},
}};

const Row& row(AppCommand command) {
    return rows[static_cast<std::size_t>(command)];
}

} // namespace

const std::vector<AppCommand>& allCases() {
    static const std::vector<AppCommand> cases = [] {
        std::vector<AppCommand> all;
        for (const auto& r : rows) {
            all.push_back(r.command);
        }
        return all;
    }();
    return cases;
}

std::string rawValue(AppCommand command) {
    return row(command).raw;
}

std::optional<AppCommand> fromRaw(std::string_view text) {
    for (const auto& r : rows) {
        if (text == r.raw) {
            return r.command;
        }
    }
    return std::nullopt;
}

std::string title(AppCommand command) {
    return row(command).title;
}

std::string menu(AppCommand command) {
    return row(command).menu;
}

KeyShortcut shortcut(AppCommand command) {
    return {row(command).key, KeyModifiers(row(command).modifiers)};
}

} // namespace brell::AppCommands
