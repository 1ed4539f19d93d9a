// brell install, uninstall and doctor: the browser's link to the companion host, the
// companion extension in the folder the browser loads it from, and one screen that says
// where everything lives and whether it works.
#include <CLI/CLI.hpp>
#include <optional>

#include "BrellCore/board/CardStore.h"
#include "BrellCore/integration/CompanionSync.h"
#include "BrellCore/integration/HostManifest.h"
#include "BrellCore/integration/RelocationPaths.h"
#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/BrowserFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/InstallLayout.h"
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

// Outside text (folders from the environment, the system's error descriptions) reaches
// the terminal only through the printable-text filter.
std::string shown(const std::string& text) {
    return TextOutput::printable(text);
}

// Where this copy carries the companion extension and the folder the browser loads it
// from, as brell repair finds them.
RelocationPaths companionPaths() {
    InstallLayout::Copy copy = InstallLayout::current();
    if (copy.appBinary.empty()) {
        throw CommandError("could not tell where brell runs from; run it by its full path.");
    }
    return RelocationPaths::forThisComputer(copy);
}

std::string loadUnpackedStep(const std::string& folder) {
    return "One step is left in the browser: open chrome://extensions, switch on Developer mode, choose \"Load "
           "unpacked\" and pick " +
           shown(folder) + "\n";
}

// Places the companion extension where the browser loads it from and says what happened
// and what is left to do; a folder that cannot be filled is a failure.
void placeCompanion(AppContext& context) {
    using Kind = CompanionSync::Result::Kind;
    RelocationPaths paths = companionPaths();
    const std::string& folder = paths.companionFolder;
    CompanionSync::Result r = CompanionSync::sync(paths.companionSource, folder);
    auto& out = context.out;
    switch (r.kind) {
    case Kind::installed:
        out << "Companion extension: installed version " << shown(r.to) << "\n" << loadUnpackedStep(folder);
        return;
    case Kind::unchanged:
        out << "Companion extension: version " << shown(r.to) << ", unchanged\n" << loadUnpackedStep(folder);
        return;
    case Kind::updated:
        out << "Companion extension: updated from version " << shown(r.from) << " to " << shown(r.to) << "\n"
            << "BRELL updated its Chrome extension: press Reload on BRELL Memory in chrome://extensions.\n"
            << loadUnpackedStep(folder);
        return;
    case Kind::sourceMissing:
        out << "Companion extension: this copy carries no extension (" << shown(paths.companionSource.value_or(""))
            << ")\n"
            << "Load it with \"Load unpacked\" in chrome://extensions from the companion/chrome folder of a copy "
               "of the source tree.\n";
        return;
    case Kind::foreign:
        out << "Companion extension: " << shown(folder) << " holds another extension; left alone\n";
        throw CommandError(shown(folder) +
                           " holds an extension that is not BRELL's; move it elsewhere, then run brell install again.");
    case Kind::failed:
        out << "Companion extension: could not be placed: " << shown(r.message) << "\n";
        throw CommandError("the companion extension could not be placed in " + shown(folder) +
                           "; fix what the line above names, then run brell install again.");
    }
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
        placeCompanion(context);
    });

    app.add_subcommand("uninstall", "Remove the browser manifests and the companion extension brell install placed")
        ->callback([&context] {
            auto removed = HostManifest::uninstall();
            for (const auto& file : removed) {
                context.out << "Removed " << file << "\n";
            }
            RelocationPaths paths = companionPaths();
            const std::string& folder = paths.companionFolder;
            CompanionSync::Removal r = CompanionSync::remove(paths.companionSource, folder);
            switch (r.kind) {
            case CompanionSync::Removal::Kind::removed:
                context.out << "Removed " << shown(folder) << "\n";
                break;
            case CompanionSync::Removal::Kind::absent:
                if (removed.empty()) {
                    context.out << "Nothing to remove: no BRELL manifest or companion extension is installed.\n";
                }
                break;
            case CompanionSync::Removal::Kind::foreign:
                context.out << "Left alone: " << shown(folder) << " holds an extension that is not BRELL's.\n";
                break;
            case CompanionSync::Removal::Kind::failed:
                throw CommandError("could not remove the companion extension: " + shown(r.message) +
                                   "; remove that folder by hand.");
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
