// brell screen …: screen memory from the command line. On this platform the brell tool
// is the application that hands window readings in (`record`, text on standard input);
// the other commands switch screen memory, list, search and delete what it kept.
#include <iostream>
#include <iterator>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr int64_t maxLimit = 10000;
// How much of a capture's text a listing shows, in characters.
constexpr std::size_t previewCharacters = 160;

void print(AppContext& context, const Json& json) {
    TextOutput::printJson(context.out, json);
}

Json optionalText(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string preview(const std::string& text) {
    std::string line = TextOutput::oneLine(text);
    std::string cut = Text::prefixCharacters(line, previewCharacters);
    return cut.size() < line.size() ? cut + "\u2026" : cut;
}

Json captureJson(const ScreenCapture& c) {
    return {{"id", c.id},
            {"at", ISODate::format(c.at)},
            {"lastAt", ISODate::format(c.lastAt)},
            {"bundleID", c.bundleID},
            {"appName", c.appName},
            {"windowTitle", c.windowTitle},
            {"label", c.label()},
            {"url", optionalText(c.url)},
            {"text", c.text},
            {"summary", optionalText(c.summary)},
            {"group", optionalText(c.group)},
            {"messaging", ScreenPolicy::isMessaging(c.bundleID, c.windowTitle)}};
}

void printCaptures(AppContext& context, const std::vector<ScreenCapture>& captures, bool json) {
    if (json) {
        Json all = Json::array();
        for (const auto& c : captures) {
            all.push_back(captureJson(c));
        }
        print(context, all);
        return;
    }
    auto& out = context.out;
    for (const auto& c : captures) {
        out << "#" << c.id << "  " << TextOutput::oneLine(c.label()) << "\n";
        out << "    last seen " << ISODate::format(c.lastAt, false) << ", first " << ISODate::format(c.at, false)
            << "\n";
        if (c.url) {
            out << "    " << *c.url << "\n";
        }
        if (c.group) {
            out << "    group: " << TextOutput::oneLine(*c.group) << "\n";
        }
        if (c.summary) {
            out << "    summary: " << TextOutput::oneLine(*c.summary) << "\n";
        }
        out << "    " << preview(c.text) << "\n";
    }
}

void registerSwitch(CLI::App& screen, AppContext& context) {
    auto* sub = screen.add_subcommand("on", "Switch screen memory on");
    sub->callback([&context] {
        MemoryStore& store = context.memory();
        store.setScreen(true);
        if (!store.state().capturing()) {
            context.out << "Screen memory is on, but memory is off or paused, so nothing is kept until: "
                           "brell memory on\n";
            return;
        }
        context.out << "Screen memory is on.\n";
    });
    screen.add_subcommand("off", "Switch screen memory off (what was kept stays)")->callback([&context] {
        context.memory().setScreen(false);
        context.out << "Screen memory is off.\n";
    });
}

void registerRecord(CLI::App& screen, AppContext& context) {
    struct Options {
        std::string appID;
        std::string appName;
        std::string title;
        std::optional<std::string> url;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    auto* sub = screen.add_subcommand("record", "Hand in one reading of the front window; its text on standard input");
    sub->add_option("--app-id", opts->appID, "The application's bundle identifier")->required();
    sub->add_option("--app-name", opts->appName, "The application's name as shown to the user")->required();
    sub->add_option("--title", opts->title, "The window title (may be empty)")->required();
    sub->add_option("--url", opts->url, "The page address, for a browser window");
    sub->add_flag("--json", opts->json, "Print the result as JSON");
    sub->callback([&context, opts] {
        std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        if (std::cin.bad()) {
            throw CommandError("could not read the window text from standard input.");
        }
        auto result = context.memory().recordScreen(opts->appID, opts->appName, opts->title, opts->url, text);
        if (opts->json) {
            static const char* const names[] = {"inserted", "extended", "skipped"};
            Json j = {{"result", names[static_cast<int>(result.kind)]}};
            j["id"] = result.kind == MemoryStore::RecordResult::Kind::skipped ? Json(nullptr) : Json(result.id);
            print(context, j);
            return;
        }
        context.out << result.description() << "\n";
    });
}

void registerList(CLI::App& screen, AppContext& context) {
    struct Options {
        std::string since;
        int64_t limit = 20;
        bool messaging = false;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    auto* sub = screen.add_subcommand("list", "List the kept windows, newest first");
    sub->add_option("--since", opts->since, "Only windows last seen at or after this ISO 8601 date-time");
    sub->add_option("--limit", opts->limit, "Most windows to list (default 20)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    sub->add_flag("--messaging", opts->messaging, "Only mail and chat windows");
    sub->add_flag("--json", opts->json, "Print the windows as JSON");
    sub->callback([&context, opts] {
        std::optional<Date> since;
        if (!opts->since.empty()) {
            since = ISODate::parse(opts->since);
            if (!since) {
                throw CommandError("\u201c" + opts->since +
                                   "\u201d is not an ISO 8601 date-time; write it like 2026-05-01T09:00:00Z.");
            }
        }
        auto captures = context.memory().screenCaptures(since, opts->limit, opts->messaging);
        if (captures.empty() && !opts->json) {
            context.out << (opts->messaging ? "No mail or chat windows in screen memory.\n"
                                            : "Screen memory holds no windows.\n");
            return;
        }
        printCaptures(context, captures, opts->json);
    });
}

void registerSearch(CLI::App& screen, AppContext& context) {
    struct Options {
        std::vector<std::string> words;
        int64_t limit = 10;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    auto* sub = screen.add_subcommand("search", "Search the kept window text and titles for words");
    sub->add_option("WORDS", opts->words, "The words to look for")->required();
    sub->add_option("--limit", opts->limit, "Most windows to show (default 10)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    sub->add_flag("--json", opts->json, "Print the windows as JSON");
    sub->callback([&context, opts] {
        std::string query = Text::join(opts->words, " ");
        if (QueryTerms::terms(query).expanded.empty()) {
            throw CommandError("\u201c" + query +
                               "\u201d has nothing to search for: use at least one word of two or more letters "
                               "that is not a common word like \u201cthe\u201d or \u201chow\u201d.");
        }
        auto captures = context.memory().searchScreen(query, opts->limit);
        if (captures.empty() && !opts->json) {
            context.out << "No window in screen memory matches \u201c" << query << "\u201d.\n";
            return;
        }
        printCaptures(context, captures, opts->json);
    });
}

void registerGroups(CLI::App& screen, AppContext& context) {
    struct Options {
        int64_t limit = 50;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    auto* sub = screen.add_subcommand("groups", "List the topic groups of screen memory, most recent first");
    sub->add_option("--limit", opts->limit, "Most groups to list (default 50)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    sub->add_flag("--json", opts->json, "Print the groups as JSON");
    sub->callback([&context, opts] {
        auto groups = context.memory().screenGroups(opts->limit);
        if (opts->json) {
            Json all = Json::array();
            for (const auto& g : groups) {
                all.push_back({{"name", g.name}, {"count", g.count}, {"lastAt", ISODate::format(g.lastAt)}});
            }
            print(context, all);
            return;
        }
        if (groups.empty()) {
            context.out << "No topic groups yet.\n";
        }
        for (const auto& g : groups) {
            context.out << TextOutput::oneLine(g.name) << " (" << g.count << "), last seen "
                        << ISODate::format(g.lastAt, false) << "\n";
        }
    });
}

void registerExclude(CLI::App& screen, AppContext& context) {
    struct Options {
        std::vector<std::string> ids;
        bool clear = false;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    auto* sub = screen.add_subcommand(
        "exclude", "Set the apps whose windows are never kept (replaces your list); without IDs, show the list");
    sub->add_option("ID", opts->ids, "Bundle identifiers, such as com.example.vault");
    auto* clear = sub->add_flag("--clear", opts->clear, "Empty your list (the built-in exclusions stay)");
    clear->excludes(sub->get_option("ID"));
    sub->add_flag("--json", opts->json, "Print the excluded apps as JSON");
    sub->callback([&context, opts] {
        MemoryStore& store = context.memory();
        if (opts->clear || !opts->ids.empty()) {
            store.setExtraExcludedApps(opts->ids);
        }
        const auto& always = ScreenPolicy::alwaysExcluded();
        std::vector<std::string> extra;
        for (const auto& id : store.excludedApps()) {
            if (!always.contains(id)) {
                extra.push_back(id);
            }
        }
        if (opts->json) {
            print(context,
                  {{"always", Json(std::vector<std::string>(always.begin(), always.end()))}, {"extra", Json(extra)}});
            return;
        }
        if (extra.empty()) {
            context.out << "No apps of yours are excluded; " << always.size()
                        << " password managers, the lock screen and BRELL itself always are.\n";
            return;
        }
        context.out << "Never kept, besides the " << always.size() << " built-in exclusions:\n";
        for (const auto& id : extra) {
            context.out << "  " << id << "\n";
        }
    });
}

void registerDelete(CLI::App& screen, AppContext& context) {
    auto id = std::make_shared<int64_t>(0);
    auto* sub = screen.add_subcommand("delete", "Delete one kept window");
    sub->add_option("ID", *id, "The window's id, as brell screen list shows it")->required();
    sub->callback([&context, id] {
        MemoryStore& store = context.memory();
        if (!store.screenCapture(*id)) {
            throw CommandError("screen memory holds no window " + std::to_string(*id) +
                               "; list them with: brell screen list");
        }
        store.deleteScreenCapture(*id);
        context.out << "Deleted window " << *id << " from screen memory.\n";
    });
}

} // namespace

void registerScreenCommands(CLI::App& app, AppContext& context) {
    auto* screen = app.add_subcommand("screen", "Screen memory: the text of the windows you had in front");
    screen->require_subcommand(1);
    registerSwitch(*screen, context);
    registerRecord(*screen, context);
    registerList(*screen, context);
    registerSearch(*screen, context);
    registerGroups(*screen, context);
    registerExclude(*screen, context);
    registerDelete(*screen, context);
    screen->add_subcommand("clear", "Delete everything screen memory kept")->callback([&context] {
        context.memory().clearScreenMemory();
        context.out << "Screen memory is empty.\n";
    });
}

} // namespace brell
