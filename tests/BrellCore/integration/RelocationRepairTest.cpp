// One relocation repair over a temporary home laid out as on macOS: what it repairs, what
// it reports for reconnecting by hand, and the notice.
#include <gtest/gtest.h>

#include "BrellCore/integration/AssistantConfigPath.h"
#include "BrellCore/integration/AssistantConnections.h"
#include "BrellCore/integration/RelocationRepair.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using RelocationRepair::ManualConnection;

class RelocationRepairTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string home = temp.file("home");
    std::string bundle = temp.file("Applications/BRELL.app");
    RelocationPaths paths = RelocationPaths::standard(bundle, home);
    const std::string gone = "/Volumes/BRELL/BRELL.app/Contents/MacOS/BRELL";

    void SetUp() override {
        FileSystem::writeAtomically(*paths.companionSource + "/manifest.json", R"({"version":"1.0","key":"S0VZ"})");
        FileSystem::writeAtomically(paths.appBinary, "app");
        FileSystem::writeAtomically(paths.hostBinary, "host");
    }

    static std::string jsonEntry(const std::string& command) {
        return R"({"mcpServers":{"brell":{"command":")" + command + R"(","args":["--mcp"]}}})";
    }
    static bool exists(const std::string& path) { return FileSystem::exists(path); }
};

TEST_F(RelocationRepairTest, RepairsLinksAndListsWhatIsGone) {
    FileSystem::writeAtomically(paths.chromeManifest,
                                R"({"name":"dev.brell.memory","path":"/Volumes/BRELL/BRELL.app/Contents/MacOS/)"
                                R"(brell-memory-host"})");
    FileSystem::writeAtomically(paths.claudeDesktopConfig, jsonEntry(gone));
    FileSystem::writeAtomically(paths.claudeCodeConfig, jsonEntry(gone));
    std::string otherCopy = temp.file("Other/BRELL.app/Contents/MacOS/BRELL");
    FileSystem::writeAtomically(otherCopy, "another copy");
    FileSystem::writeAtomically(paths.codexConfig, "[mcp_servers.brell]\ncommand = \"" + otherCopy + "\"\n");
    FileSystem::writeAtomically(paths.geminiConfig, "not json");

    RelocationReport preview = RelocationRepair::run(paths, true, exists, RelocationRepair::Mode::preview);
    EXPECT_FALSE(FileSystem::exists(paths.companionFolder)) << "a preview writes nothing";
    EXPECT_EQ(AssistantConfigPath::jsonCommand(*FileSystem::read(paths.claudeDesktopConfig)), gone);

    RelocationReport report = RelocationRepair::run(paths, true, exists);
    EXPECT_EQ(report, preview) << "the preview said what would happen";
    EXPECT_EQ(report.chrome, ManifestRepair::repaired("/Volumes/BRELL/BRELL.app/Contents/MacOS/brell-memory-host"));
    EXPECT_EQ(report.claudeDesktop, ManifestRepair::repaired(gone));
    EXPECT_EQ(report.needsReconnect, std::vector<std::string>{"Claude Code"});
    EXPECT_EQ(report.companion, CompanionSync::Result::installed("1.0"));
    EXPECT_EQ(report.notice(),
              "Updated the Chrome link and Claude Desktop to use this copy of BRELL. Reopen Claude Desktop to pick it "
              "up. If Chrome lists BRELL Memory as missing, load it once from BRELL's own folder: Help → Welcome to "
              "BRELL → Copy Folder Path. Claude Code still uses a copy of BRELL that's gone: reconnect in Sources & "
              "Privacy → AI connections.");
    EXPECT_EQ(AssistantConfigPath::jsonCommand(*FileSystem::read(paths.claudeDesktopConfig)), paths.appBinary);
    EXPECT_EQ(AssistantConfigPath::jsonCommand(*FileSystem::read(paths.claudeCodeConfig)), gone)
        << "hand-connected assistants are only read";

    // Run twice in a row: what was repaired is current.
    RelocationReport again = RelocationRepair::run(paths, true, exists);
    EXPECT_EQ(again.chrome, ManifestRepair::current());
    EXPECT_EQ(again.claudeDesktop, ManifestRepair::current());
    EXPECT_EQ(again.companion, CompanionSync::Result::unchanged("1.0"));
    EXPECT_EQ(again.needsReconnect, std::vector<std::string>{"Claude Code"});

    EXPECT_EQ(RelocationRepair::status(ManualConnection::claudeCode, paths, exists),
              ConnectionPath::stale(gone, false));
    EXPECT_EQ(RelocationRepair::status(ManualConnection::codex, paths, exists), ConnectionPath::stale(otherCopy, true));
    EXPECT_EQ(RelocationRepair::status(ManualConnection::gemini, paths, exists), ConnectionPath::notFound());
}

TEST_F(RelocationRepairTest, WithoutRepointingOnlyTheCompanionIsSynced) {
    FileSystem::writeAtomically(paths.claudeDesktopConfig, jsonEntry(gone));
    FileSystem::writeAtomically(paths.claudeCodeConfig, jsonEntry(gone));
    RelocationReport report = RelocationRepair::run(paths, false, exists);
    EXPECT_EQ(report.companion, CompanionSync::Result::installed("1.0"));
    EXPECT_EQ(report.chrome, ManifestRepair::missing());
    EXPECT_EQ(report.claudeDesktop, ManifestRepair::missing());
    EXPECT_TRUE(report.needsReconnect.empty());
    EXPECT_EQ(AssistantConfigPath::jsonCommand(*FileSystem::read(paths.claudeDesktopConfig)), gone);
}

TEST_F(RelocationRepairTest, ReconnectListSkipsWhatIsFineOrUnreadable) {
    struct Case {
        const char* name;
        std::string claudeCode, codex, gemini;
        std::vector<std::string> needsReconnect;
    };
    const std::string here = paths.appBinary;
    const Case cases[] = {
        {"all gone",
         jsonEntry(gone),
         "[mcp_servers.brell]\ncommand = '" + gone + "'\n",
         jsonEntry(gone),
         {"Claude Code", "Codex", "Gemini CLI"}},
        {"this copy, written differently", jsonEntry(bundle + "//Contents/./MacOS/BRELL"), "", "", {}},
        {"empty command", jsonEntry(""), "[mcp_servers.brell]\ncommand = \"\"\n", "{}", {}},
        {"Codex file not UTF-8", "", "[mcp_servers.brell]\ncommand = \"/gone\xff/BRELL\"\n", "", {}},
        {"Gemini only", "", "", jsonEntry(gone), {"Gemini CLI"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileSystem::writeAtomically(paths.claudeCodeConfig, c.claudeCode);
        FileSystem::writeAtomically(paths.codexConfig, c.codex);
        FileSystem::writeAtomically(paths.geminiConfig, c.gemini);
        EXPECT_EQ(RelocationRepair::run(paths, true, exists).needsReconnect, c.needsReconnect);
    }
}

TEST(RelocationReportTest, Notice) {
    using Kind = ManifestRepair::Kind;
    struct Case {
        const char* name;
        RelocationReport report;
        std::optional<std::string> notice;
    };
    RelocationReport nothing;
    nothing.chrome = ManifestRepair::current();
    nothing.claudeDesktop = ManifestRepair::foreign();
    nothing.companion = CompanionSync::Result::unchanged("1");
    nothing.extensionInUse = true;

    RelocationReport chromeOnly;
    chromeOnly.chrome = ManifestRepair::repaired("");

    RelocationReport desktopOnly;
    desktopOnly.claudeDesktop = ManifestRepair::repaired("/x");

    RelocationReport updatedInUse;
    updatedInUse.companion = CompanionSync::Result::updated("1", "2");
    updatedInUse.extensionInUse = true;
    RelocationReport updatedNotInUse = updatedInUse;
    updatedNotInUse.extensionInUse = false;

    RelocationReport several;
    several.needsReconnect = {"Claude Code", "Codex", "Gemini CLI"};

    RelocationReport chromium;
    chromium.otherBrowsers = {{"Chromium", "/f", ManifestRepair::repaired("/old")}};
    chromium.claudeDesktop = ManifestRepair::repaired("/x");

    RelocationReport failed;
    failed.chrome = {Kind::failed, "failed to write: Disk full"};

    const Case cases[] = {
        {"nothing to say", nothing, std::nullopt},
        {"failed is not updated", failed, std::nullopt},
        {"Chrome only", chromeOnly,
         "Updated the Chrome link to use this copy of BRELL. If Chrome lists BRELL Memory as missing, load it once "
         "from BRELL's own folder: Help → Welcome to BRELL → Copy Folder Path."},
        {"Claude Desktop only", desktopOnly,
         "Updated Claude Desktop to use this copy of BRELL. Reopen Claude Desktop to pick it up."},
        {"extension updated while in use", updatedInUse,
         "BRELL updated its Chrome extension: press Reload on BRELL Memory in chrome://extensions."},
        {"extension updated, not in use", updatedNotInUse, std::nullopt},
        {"several to reconnect", several,
         "Claude Code, Codex, Gemini CLI still use a copy of BRELL that's gone: reconnect in Sources & Privacy → AI "
         "connections."},
        {"Chromium and Claude Desktop", chromium,
         "Updated the Chromium link and Claude Desktop to use this copy of BRELL. Reopen Claude Desktop to pick it "
         "up."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.report.notice(), c.notice);
    }
}

TEST_F(RelocationRepairTest, AssistantConnectionsSayHowToReconnect) {
    paths.appBinary = "/home/ann/My Tools/bin/brell";
    FileSystem::writeAtomically(paths.claudeCodeConfig, jsonEntry(gone));
    FileSystem::writeAtomically(paths.codexConfig, "[mcp_servers.brell]\ncommand = \"" + paths.hostBinary + "\"\n");
    FileSystem::writeAtomically(paths.geminiConfig, jsonEntry("/home/ann/My Tools/bin/brell"));
    auto links = AssistantConnections::check(paths, exists);
    ASSERT_EQ(links.size(), 3u);
    const std::string q = "'/home/ann/My Tools/bin/brell'";
    const std::string lines[] = {
        "Claude Code: uses a copy of BRELL that's gone (" + gone +
            "). Reconnect with: claude mcp remove --scope user brell && claude mcp add --scope user brell -- " + q +
            " --mcp",
        "Codex: uses another copy of BRELL (" + paths.hostBinary +
            "). To use this one: codex mcp remove brell && codex mcp add brell -- " + q + " --mcp",
        "Gemini CLI: connected to this copy of BRELL.",
    };
    for (std::size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(links[i].name);
        EXPECT_EQ(AssistantConnections::describe(links[i], paths.appBinary), lines[i]);
    }
    EXPECT_EQ(links[1].configFile, paths.codexConfig);

    FolderTree::remove(home);
    links = AssistantConnections::check(paths, exists);
    EXPECT_EQ(AssistantConnections::describe(links[2], "/usr/bin/brell"),
              "Gemini CLI: not connected. Connect with: gemini mcp add --scope user brell /usr/bin/brell -- --mcp");
    EXPECT_EQ(AssistantConnections::shellQuoted("it's"), "'it'\\''s'");
    EXPECT_EQ(AssistantConnections::shellQuoted(""), "''");
}

} // namespace
} // namespace brell
