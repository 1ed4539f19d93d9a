// brell repair: after BRELL was installed anew, moved or run from another folder, points
// the browsers and Claude Desktop at this copy, syncs the companion extension's folder,
// and says exactly how to reconnect the assistants that are connected by hand. The same
// status lines appear in brell doctor.
#include <CLI/CLI.hpp>
#include <ostream>

#include "BrellCore/integration/AppVersion.h"
#include "BrellCore/integration/AssistantConnections.h"
#include "BrellCore/integration/RelocationPaths.h"
#include "BrellCore/integration/RelocationRepair.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/FileSystem.h"
#include "platform/InstallLayout.h"

namespace brell {
namespace {

using Mode = RelocationRepair::Mode;

// Paths come from files other programs wrote: shown through the printable-text filter.
std::string shown(const std::string& text) {
    return TextOutput::printable(text);
}

InstallLayout::Copy thisCopy() {
    InstallLayout::Copy copy = InstallLayout::current();
    if (copy.appBinary.empty()) {
        throw CommandError("could not tell where brell runs from; run it by its full path.");
    }
    return copy;
}

bool isFileThere(const std::string& path) {
    return FileSystem::exists(path);
}

std::string browserLine(const ManifestRepair& r, Mode mode) {
    bool preview = mode == Mode::preview;
    switch (r.kind) {
    case ManifestRepair::Kind::repaired:
        if (preview) {
            return (r.text.empty() ? std::string("names no program") : "points at " + shown(r.text)) +
                   "; would be repointed at this copy";
        }
        return "repointed at this copy (was " + (r.text.empty() ? std::string("no program") : shown(r.text)) + ")";
    case ManifestRepair::Kind::current:
        return "points at this copy";
    case ManifestRepair::Kind::missing:
        return "not installed; run: brell install";
    case ManifestRepair::Kind::foreign:
        return "a file of that name is there but is not BRELL's; left alone";
    case ManifestRepair::Kind::failed:
        return "could not be repointed: " + shown(r.text);
    }
    return "";
}

std::string claudeDesktopLine(const ManifestRepair& r, Mode mode) {
    bool preview = mode == Mode::preview;
    switch (r.kind) {
    case ManifestRepair::Kind::repaired:
        if (preview) {
            return "uses " + shown(r.text) + "; would be repointed at this copy";
        }
        return "repointed at this copy (was " + shown(r.text) + "); reopen Claude Desktop";
    case ManifestRepair::Kind::current:
        return "connected to this copy";
    case ManifestRepair::Kind::missing:
        return "not connected";
    case ManifestRepair::Kind::foreign:
        return "its brell entry is not this program with the argument --mcp; left alone";
    case ManifestRepair::Kind::failed:
        return "could not be repointed: " + shown(r.text);
    }
    return "";
}

std::string companionLine(const CompanionSync::Result& r, const RelocationPaths& paths, Mode mode) {
    bool preview = mode == Mode::preview;
    using Kind = CompanionSync::Result::Kind;
    switch (r.kind) {
    case Kind::unchanged:
        return "version " + shown(r.to) + ", up to date";
    case Kind::installed:
        return (preview ? "not installed; would install version " : "installed version ") + shown(r.to);
    case Kind::updated:
        return (preview ? "version " + shown(r.from) + "; would update to version "
                        : "updated from version " + shown(r.from) + " to ") +
               shown(r.to);
    case Kind::failed:
        return "could not be synced: " + shown(r.message);
    case Kind::sourceMissing:
        return "this copy carries no extension (" + shown(paths.companionSource.value_or("")) + ")";
    case Kind::foreign:
        return "the folder holds another extension; left alone";
    }
    return "";
}

bool anyFailed(const RelocationReport& report) {
    bool failed = report.chrome.kind == ManifestRepair::Kind::failed ||
                  report.claudeDesktop.kind == ManifestRepair::Kind::failed ||
                  report.companion.kind == CompanionSync::Result::Kind::failed;
    for (const auto& other : report.otherBrowsers) {
        failed = failed || other.result.kind == ManifestRepair::Kind::failed;
    }
    return failed;
}

// The lines every report shows: this copy, each link and the companion folder.
void printReport(std::ostream& out, const InstallLayout::Copy& copy, const RelocationPaths& paths,
                 const RelocationReport& report, Mode mode, const std::string& indent = "") {
    out << "This copy: " << shown(copy.appBinary) << " (" << shown(InstallLayout::describe(copy)) << ")\n";
    if (!indent.empty()) {
        out << indent << AppVersion::current().display() << "\n";
    }
    out << indent << "Google Chrome: " << browserLine(report.chrome, mode) << "\n";
    for (const auto& other : report.otherBrowsers) {
        out << indent << other.browser << ": " << browserLine(other.result, mode) << "\n";
    }
    out << indent << "Claude Desktop: " << claudeDesktopLine(report.claudeDesktop, mode) << "\n";
    for (const auto& link : AssistantConnections::check(paths, isFileThere)) {
        out << indent << shown(AssistantConnections::describe(link, paths.appBinary)) << "\n";
    }
    out << indent << "Companion extension: " << companionLine(report.companion, paths, mode) << "\n"
        << indent << "  " << shown(paths.companionFolder) << "\n";
}

void registerRepair(CLI::App& app, AppContext& context) {
    auto dryRun = std::make_shared<bool>(false);
    auto* repair = app.add_subcommand(
        "repair", "Point the browsers and assistants at this copy of BRELL and update the companion extension");
    repair->add_flag("--dry-run", *dryRun, "Say what would change and change nothing");
    repair->callback([&context, dryRun] {
        InstallLayout::Copy copy = thisCopy();
        RelocationPaths paths = RelocationPaths::forThisComputer(copy);
        Mode mode = *dryRun ? Mode::preview : Mode::apply;
        RelocationReport report = RelocationRepair::run(paths, true, isFileThere, mode);
        // A terminal cannot tell whether the browser has the extension loaded; after an
        // update the reload hint is always worth giving.
        report.extensionInUse = true;
        printReport(context.out, copy, paths, report, mode);
        if (mode == Mode::apply) {
            if (auto notice = report.notice()) {
                context.out << "\n" << *notice << "\n";
            }
        } else {
            context.out << "\nNothing was changed (dry run).\n";
        }
        if (anyFailed(report)) {
            throw CommandError("some links could not be repaired; see the lines above.");
        }
    });
}

} // namespace

void printLinkStatus(AppContext& context) {
    auto& out = context.out;
    InstallLayout::Copy copy;
    try {
        copy = thisCopy();
    } catch (const CommandError& e) {
        out << "This copy: " << e.what() << "\n";
        return;
    }
    RelocationPaths paths = RelocationPaths::forThisComputer(copy);
    RelocationReport report = RelocationRepair::run(paths, true, isFileThere, Mode::preview);
    printReport(out, copy, paths, report, Mode::preview, "  ");
    if (auto offer = InstallLayout::offerMessage(copy.placement)) {
        out << "  " << *offer << "\n";
    }
    bool stale = report.chrome.kind == ManifestRepair::Kind::repaired ||
                 report.claudeDesktop.kind == ManifestRepair::Kind::repaired ||
                 report.companion.kind == CompanionSync::Result::Kind::installed ||
                 report.companion.kind == CompanionSync::Result::Kind::updated;
    for (const auto& other : report.otherBrowsers) {
        stale = stale || other.result.kind == ManifestRepair::Kind::repaired;
    }
    if (stale) {
        out << "  Run brell repair to point them at this copy.\n";
    }
}

void registerRepairCommands(CLI::App& app, AppContext& context) {
    registerRepair(app, context);
}

} // namespace brell
