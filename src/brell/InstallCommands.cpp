// brell install, uninstall and doctor: the browser's link to the companion host, and one
// screen that says where everything lives and whether it works.
#include <CLI/CLI.hpp>
#include <optional>

#include "BrellCore/board/CardStore.h"
#include "BrellCore/integration/HostManifest.h"
#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "platform/BrowserFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "util/ISODate.h"

namespace brell {
namespace {

// The companion host installed beside this brell.
std::string hostBesideUs() {
    std::string self = BrowserFolders::currentExecutable();
    if (self.empty()) {
        throw CommandError("could not tell where brell runs from; run it by its full path.");
    }
    std::string host = Environment::join(FileSystem::parentFolder(self), "brell-memory-host");
    if (!FileSystem::exists(host)) {
        throw CommandError("brell-memory-host is missing beside " + self + "; build it with: make build");
    }
    return host;
}

// The companion extension's folder: for now the source copy in the tree this brell was
// built from (build/bin/brell sits two levels below it).
std::optional<std::string> companionFolder() {
    std::string folder = FileSystem::parentFolder(BrowserFolders::currentExecutable());
    for (int level = 0; level < 4 && !folder.empty(); ++level) {
        std::string candidate = Environment::join(folder, "companion/chrome");
        if (FileSystem::exists(Environment::join(candidate, "manifest.json"))) {
            return candidate;
        }
        std::string parent = FileSystem::parentFolder(folder);
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    return std::nullopt;
}

std::string describe(const HostManifest::Installed& entry) {
    switch (entry.status) {
    case HostManifest::Status::missing:
        return "not installed";
    case HostManifest::Status::current:
        return "installed, points at this build";
    case HostManifest::Status::otherBuild:
        return "installed, points at another build (" + entry.hostPath.value_or("") + "); run: brell install";
    case HostManifest::Status::notOurs:
        return "a file of that name is there but is not BRELL's; left alone";
    }
    return "";
}

void registerInstall(CLI::App& app, AppContext& context) {
    auto check = std::make_shared<bool>(false);
    auto* install = app.add_subcommand("install", "Let Chrome and Chromium start the companion host");
    install->add_flag("--check", *check, "Report what is installed and whether it points at this build");
    install->callback([&context, check] {
        std::string host = hostBesideUs();
        if (*check) {
            for (const auto& entry : HostManifest::check(host)) {
                context.out << entry.browser << ": " << describe(entry) << "\n  " << entry.file << "\n";
            }
            return;
        }
        for (const auto& file : HostManifest::install(host)) {
            context.out << "Wrote " << file << "\n";
        }
        context.out << "The companion extension can now reach " << host << ".\n";
        if (auto folder = companionFolder()) {
            context.out << "One step is left in the browser: open chrome://extensions, switch on Developer mode, "
                           "choose \"Load unpacked\" and pick "
                        << *folder << "\n";
        } else {
            context.out << "The companion extension's folder (companion/chrome) was not found beside this build; "
                           "load it with \"Load unpacked\" in chrome://extensions from a copy of the source tree.\n";
        }
    });

    app.add_subcommand("uninstall", "Remove the browser manifests brell install wrote")->callback([&context] {
        auto removed = HostManifest::uninstall();
        for (const auto& file : removed) {
            context.out << "Removed " << file << "\n";
        }
        if (removed.empty()) {
            context.out << "Nothing to remove: no BRELL manifest is installed.\n";
        }
    });
}

void registerDoctor(CLI::App& app, AppContext& context) {
    app.add_subcommand("doctor", "Show where the memory and board live and whether everything works")
        ->callback([&context] {
            auto& out = context.out;
            out << "Memory:  " << context.memoryPath() << "\n";
            MemoryStore& store = context.memory();
            MemoryState s = store.state();
            out << "  status " << rawValue(s.status(store.now(), store.config.connectionLostAfter)) << ", epoch "
                << s.epoch << ", schema " << store.meta("schema_version").value_or("?") << ", SQLite "
                << SQLiteDB::libraryVersion() << "\n";
            out << "  full-text search "
                << (store.hasFullTextSearch() ? "available" : "unavailable (pattern search is used)") << "\n";
            out << "  " << store.sourceCount() << " sources, " << store.chunkCount() << " chunks\n";
            auto purged = store.lastPurge();
            out << "  last purge " << (purged ? ISODate::format(*purged, false) : std::string("never")) << ", keeping "
                << s.retentionDays << " days\n";
            out << "Board:   " << context.boardPath() << "\n";
            try {
                out << "  " << CardStore::readCards(context.boardPath()).size() << " items\n";
            } catch (const std::exception& e) {
                out << "  unreadable: " << e.what() << "\n";
            }
            out << "Companion: "
                << (s.hostLastSeen ? "last heard " + ISODate::format(*s.hostLastSeen, false) +
                                         (store.now() - *s.hostLastSeen <= store.config.connectionLostAfter
                                              ? " (talking to the host now)"
                                              : " (not recently)")
                                   : std::string("never heard; load the extension and open a YouTube video"))
                << "\n";
            out << "Companion host:\n";
            std::string host;
            try {
                host = hostBesideUs();
            } catch (const CommandError& e) {
                out << "  " << e.what() << "\n";
            }
            for (const auto& entry : HostManifest::check(host)) {
                out << "  " << entry.browser << ": " << describe(entry) << "\n";
            }
            printLinkStatus(context);
        });
}

} // namespace

void registerInstallCommands(CLI::App& app, AppContext& context) {
    registerInstall(app, context);
    registerDoctor(app, context);
}

} // namespace brell
