// brell help [QUERY]: the help entries by section, a word search over them, and the
// Markdown and JSON exports. (`--help` and `-h` stay the command line's own usage.)
#include <CLI/CLI.hpp>

#include "BrellCore/help/HelpContent.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t lineWidth = 80;

// The user's own shortcut labels, so the answers name the keys they actually press.
HelpShortcuts userShortcuts() {
    AppSettings settings = AppSettings::load(AppSettings::defaultPath());
    return HelpShortcuts::of(
        ShortcutSetting::resolveAll([&settings](const std::string& key) { return settings.string(key); }));
}

// `text` broken at spaces into lines of at most `lineWidth` characters, each starting
// with `indent`; a word longer than a line stays whole.
std::string wrapped(const std::string& text, const std::string& indent) {
    std::string out;
    std::string line;
    std::size_t used = 0;
    for (const auto& word : Text::split(text, ' ')) {
        if (word.empty()) {
            continue;
        }
        std::size_t n = Text::characterCount(word);
        if (!line.empty() && indent.size() + used + 1 + n > lineWidth) {
            out += indent + line + "\n";
            line.clear();
            used = 0;
        }
        line += (line.empty() ? "" : " ") + word;
        used += (used == 0 ? 0 : 1) + n;
    }
    if (!line.empty()) {
        out += indent + line + "\n";
    }
    return out;
}

void printEntry(std::ostream& out, const HelpEntry& e) {
    out << "  " << e.title << "\n" << wrapped(e.body, "    ");
    if (e.action) {
        out << "    \u2192 " << HelpDestinations::buttonTitle(*e.action) << "\n";
    }
}

void printAll(AppContext& context, const std::vector<HelpEntry>& all) {
    auto& out = context.out;
    out << "BRELL: Tips & FAQ\n";
    for (const auto& [section, inSection] : HelpContent::bySection(all)) {
        out << "\n" << HelpSections::title(section) << " \u2014 " << HelpSections::blurb(section) << "\n";
        for (const auto& e : inSection) {
            out << "\n";
            printEntry(out, e);
        }
    }
    out << "\nSearch the help with: brell help WORDS\n";
}

void printMatches(AppContext& context, const std::string& query, const std::vector<HelpEntry>& found) {
    auto& out = context.out;
    if (found.empty()) {
        out << "No help entry matches \u201c" << TextOutput::oneLine(query)
            << "\u201d. Try fewer words, or run brell help to see every entry.\n";
        return;
    }
    bool first = true;
    for (const auto& e : found) {
        out << (first ? "" : "\n");
        first = false;
        printEntry(out, e);
        out << "    (" << HelpSections::title(e.section) << ")\n";
    }
}

struct HelpOptions {
    std::vector<std::string> words;
    bool markdown = false;
    bool json = false;
};

void runHelp(AppContext& context, const HelpOptions& options) {
    const HelpShortcuts shortcuts = userShortcuts();
    if (options.markdown) {
        context.out << HelpContent::markdown(shortcuts);
        return;
    }
    if (options.json) {
        // The export stands in "[]" for a list it could not write; the help is never
        // empty, so here that is a failure, not an answer.
        std::string json = HelpContent::json(shortcuts);
        if (json == "[]") {
            throw CommandError("could not write the help as JSON; read it with: brell help --markdown");
        }
        context.out << json << "\n";
        return;
    }
    const auto all = HelpContent::entries(shortcuts);
    const std::string query = Text::join(options.words, " ");
    if (Text::isBlank(query)) {
        printAll(context, all);
        return;
    }
    printMatches(context, query, HelpContent::searchBestFirst(query, all));
}

} // namespace

void registerHelpCommand(CLI::App& app, AppContext& context) {
    auto options = std::make_shared<HelpOptions>();
    auto* help = app.add_subcommand("help", "Tips & FAQ: every help entry, or the ones that match your words");
    auto* query = help->add_option("QUERY", options->words, "Words to look for in the help");
    auto* markdown = help->add_flag("--markdown", options->markdown, "Print the whole help as Markdown");
    auto* json = help->add_flag("--json", options->json, "Print the whole help as JSON");
    markdown->excludes(json);
    markdown->excludes(query);
    json->excludes(query);
    help->callback([&context, options] { runHelp(context, *options); });
}

} // namespace brell
