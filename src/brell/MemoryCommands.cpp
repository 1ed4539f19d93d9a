// brell memory …, brell origins …: the user's consent switches and approved origins.
#include <iostream>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/ISODate.h"
#include "util/Json.h"

namespace brell {
namespace {

bool onOff(const std::string& word) {
    return word == "on";
}

Json stateJson(MemoryStore& store, const MemoryState& s) {
    Json origins = Json::array();
    for (const auto& o : s.origins) {
        origins.push_back({{"origin", o.origin},
                           {"indexText", o.indexText},
                           {"muted", o.muted},
                           {"grantedAt", ISODate::format(o.grantedAt)}});
    }
    Json j = {{"status", rawValue(s.status(store.now(), store.config.connectionLostAfter))},
              {"decided", s.decided},
              {"enabled", s.enabled},
              {"paused", s.paused},
              {"epoch", s.epoch},
              {"youtube", s.youtube},
              {"screen", s.screen},
              {"providerConsent", s.providerConsent},
              {"proactive", s.proactive},
              {"retentionDays", s.retentionDays},
              {"origins", origins},
              {"database", store.db.path()},
              {"schemaVersion", store.meta("schema_version").value_or("")},
              {"fullTextSearch", store.hasFullTextSearch()},
              {"sqliteVersion", SQLiteDB::libraryVersion()}};
    j["snoozeUntil"] = s.snoozeUntil ? Json(ISODate::format(*s.snoozeUntil)) : Json(nullptr);
    j["hostLastSeen"] = s.hostLastSeen ? Json(ISODate::format(*s.hostLastSeen)) : Json(nullptr);
    return j;
}

void printStatus(AppContext& context, bool json) {
    MemoryStore& store = context.memory();
    MemoryState s = store.state();
    if (json) {
        TextOutput::printJson(context.out, stateJson(store, s));
        return;
    }
    auto yesNo = [](bool b) { return b ? "on" : "off"; };
    auto& out = context.out;
    out << "Memory: " << rawValue(s.status(store.now(), store.config.connectionLostAfter)) << "\n";
    out << "  switched " << yesNo(s.enabled) << (s.paused ? ", paused" : "") << (s.decided ? "" : " (not yet decided)")
        << "\n";
    out << "  capture epoch: " << s.epoch << "\n";
    out << "  YouTube videos: " << yesNo(s.youtube) << "\n";
    out << "  screen memory: " << yesNo(s.screen) << "\n";
    out << "  AI provider may read memory: " << (s.providerConsent ? "yes" : "no") << "\n";
    out << "  proactive suggestions: " << yesNo(s.proactive) << "\n";
    out << "  retention: " << s.retentionDays << " days\n";
    out << "  companion last heard: " << (s.hostLastSeen ? ISODate::format(*s.hostLastSeen, false) : "never") << "\n";
    out << "  approved origins: " << s.origins.size() << "\n";
    out << "  database: " << store.db.path() << " (schema " << store.meta("schema_version").value_or("?") << ", SQLite "
        << SQLiteDB::libraryVersion() << ", full-text search "
        << (store.hasFullTextSearch() ? "available" : "unavailable") << ")\n";
}

void registerMemory(CLI::App& app, AppContext& context) {
    auto* memory = app.add_subcommand("memory", "Switch memory on or off and show its state");
    memory->require_subcommand(1);

    auto* status = memory->add_subcommand("status", "Show the memory's switches, epoch and database");
    auto statusJson = std::make_shared<bool>(false);
    status->add_flag("--json", *statusJson, "Print the state as JSON");
    status->callback([&context, statusJson] { printStatus(context, *statusJson); });

    memory->add_subcommand("on", "Switch memory on")->callback([&context] {
        context.memory().setEnabled(true);
        context.out << "Memory is on.\n";
    });
    memory->add_subcommand("off", "Switch memory off (what was stored stays)")->callback([&context] {
        context.memory().setEnabled(false);
        context.out << "Memory is off.\n";
    });
    memory->add_subcommand("pause", "Pause memory without switching it off")->callback([&context] {
        if (!context.memory().state().enabled) {
            throw CommandError("memory is off, so there is nothing to pause; switch it on with: brell memory on");
        }
        context.memory().setPaused(true);
        context.out << "Memory is paused.\n";
    });
    memory->add_subcommand("resume", "Resume paused memory")->callback([&context] {
        if (!context.memory().state().enabled) {
            throw CommandError("memory is off; switch it on with: brell memory on");
        }
        context.memory().setPaused(false);
        context.out << "Memory is active.\n";
    });

    auto* youtube = memory->add_subcommand("youtube", "Allow or stop remembering YouTube videos");
    auto youtubeSwitch = std::make_shared<std::string>();
    youtube->add_option("state", *youtubeSwitch, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    youtube->callback([&context, youtubeSwitch] {
        context.memory().setYouTube(onOff(*youtubeSwitch));
        context.out << "YouTube videos: " << *youtubeSwitch << ".\n";
    });
}

void registerOrigins(CLI::App& app, AppContext& context) {
    auto* origins = app.add_subcommand("origins", "List, approve and revoke the sites whose articles are kept");
    origins->require_subcommand(1);

    auto listJson = std::make_shared<bool>(false);
    auto* list = origins->add_subcommand("list", "List the approved origins");
    list->add_flag("--json", *listJson, "Print the origins as JSON");
    list->callback([&context, listJson] {
        MemoryState s = context.memory().state();
        if (*listJson) {
            Json all = Json::array();
            for (const auto& o : s.origins) {
                all.push_back({{"origin", o.origin},
                               {"indexText", o.indexText},
                               {"muted", o.muted},
                               {"grantedAt", ISODate::format(o.grantedAt)}});
            }
            TextOutput::printJson(context.out, all);
            return;
        }
        if (s.origins.empty()) {
            context.out << "No approved origins. Approve one with: brell origins approve https://example.com\n";
        }
        for (const auto& o : s.origins) {
            context.out << o.origin << (o.indexText ? "" : "  (visits only)") << (o.muted ? "  (muted)" : "") << "\n";
        }
    });

    struct ApproveOptions {
        std::string url;
        bool noText = false;
    };
    auto approveOptions = std::make_shared<ApproveOptions>();
    auto* approve = origins->add_subcommand("approve", "Approve a site so the companion remembers its articles");
    approve->add_option("URL", approveOptions->url, "An https address on the site")->required();
    approve->add_flag("--no-text", approveOptions->noText, "Remember visits only, not the article text");
    approve->callback([&context, approveOptions] {
        const auto& [approveURL, noText] = *approveOptions;
        auto canonical = context.memory().approveOrigin(approveURL, !noText);
        if (!canonical) {
            throw CommandError("\"" + approveURL +
                               "\" cannot be approved: give an https address of a public site (YouTube is "
                               "governed by: brell memory youtube on).");
        }
        context.out << "Approved " << *canonical << (noText ? " (visits only)" : "") << ".\n";
    });

    struct RevokeOptions {
        std::string url;
        bool deleteData = false;
    };
    auto revokeOptions = std::make_shared<RevokeOptions>();
    auto* revoke = origins->add_subcommand("revoke", "Stop remembering a site's articles");
    revoke->add_option("URL", revokeOptions->url, "The site's address")->required();
    revoke->add_flag("--delete-data", revokeOptions->deleteData, "Also delete the articles already remembered from it");
    revoke->callback([&context, revokeOptions] {
        const auto& [revokeURL, deleteData] = *revokeOptions;
        auto canonical = MemoryStore::canonicalOrigin(revokeURL);
        if (!canonical) {
            throw CommandError("\"" + revokeURL + "\" is not an https address of a public site.");
        }
        context.memory().revokeOrigin(revokeURL, deleteData);
        context.out << "Revoked " << *canonical << (deleteData ? "; its articles were deleted" : "") << ".\n";
    });
}

} // namespace

void registerMemoryCommands(CLI::App& app, AppContext& context) {
    registerMemory(app, context);
    registerOrigins(app, context);
}

} // namespace brell
