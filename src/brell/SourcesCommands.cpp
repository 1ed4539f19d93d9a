// brell sources …: the videos and articles memory keeps, and muting or deleting one.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/ISODate.h"
#include "util/Json.h"

namespace brell {
namespace {

void printSources(AppContext& context, bool json) {
    auto sources = context.memory().sources(std::nullopt, true);
    if (json) {
        Json all = Json::array();
        for (const auto& s : sources) {
            all.push_back({{"id", s.id},
                           {"key", s.key},
                           {"kind", s.kind},
                           {"title", s.title},
                           {"url", s.url},
                           {"origin", s.origin},
                           {"firstSeen", ISODate::format(s.firstSeen)},
                           {"lastSeen", ISODate::format(s.lastSeen)},
                           {"muted", s.muted}});
        }
        TextOutput::printJson(context.out, all);
        return;
    }
    if (sources.empty()) {
        context.out << "Memory keeps no videos or articles.\n";
        return;
    }
    for (const auto& s : sources) {
        context.out << "#" << s.id << "  [" << s.kind << "] " << TextOutput::oneLine(s.title)
                    << (s.muted ? "  (muted)" : "") << "\n";
        context.out << "    " << TextOutput::oneLine(s.url) << "\n";
        context.out << "    last seen " << ISODate::format(s.lastSeen, false) << "\n";
    }
}

[[noreturn]] void noSource(int64_t id) {
    throw CommandError("there is no source " + std::to_string(id) + "; list them with: brell sources");
}

} // namespace

void registerSourcesCommands(CLI::App& app, AppContext& context) {
    auto* sources = app.add_subcommand("sources", "List the videos and articles memory keeps; mute or delete one");
    auto json = std::make_shared<bool>(false);
    sources->add_flag("--json", *json, "Print the sources as JSON");
    sources->require_subcommand(0, 1);

    auto listJson = std::make_shared<bool>(false);
    auto* list = sources->add_subcommand("list", "List the sources, most recently seen first (the default)");
    list->add_flag("--json", *listJson, "Print the sources as JSON");
    list->callback([&context, listJson, json] { printSources(context, *listJson || *json); });

    auto muteID = std::make_shared<int64_t>(0);
    auto* mute = sources->add_subcommand("mute", "Hide a source from searches and answers (it stays stored)");
    mute->add_option("ID", *muteID, "The source id from brell sources")->required();
    mute->callback([&context, muteID] {
        if (!context.memory().setSourceMuted(*muteID, true)) {
            noSource(*muteID);
        }
        context.out << "Source " << *muteID << " is muted; suggestions citing it were withdrawn.\n";
    });

    auto unmuteID = std::make_shared<int64_t>(0);
    auto* unmute = sources->add_subcommand("unmute", "Show a muted source again");
    unmute->add_option("ID", *unmuteID, "The source id from brell sources")->required();
    unmute->callback([&context, unmuteID] {
        if (!context.memory().setSourceMuted(*unmuteID, false)) {
            noSource(*unmuteID);
        }
        context.out << "Source " << *unmuteID << " is no longer muted.\n";
    });

    auto deleteID = std::make_shared<int64_t>(0);
    auto* remove = sources->add_subcommand("delete", "Delete a source with everything remembered of it");
    remove->add_option("ID", *deleteID, "The source id from brell sources")->required();
    remove->callback([&context, deleteID] {
        MemoryStore& store = context.memory();
        if (!store.source(*deleteID)) {
            noSource(*deleteID);
        }
        store.deleteSource(*deleteID);
        context.out << "Deleted source " << *deleteID << " with its sessions, passages and transcript.\n";
    });

    sources->callback([&context, sources, json] {
        if (sources->get_subcommands().empty()) {
            printSources(context, *json);
        }
    });
}

} // namespace brell
