// brell repair, doctor and --version on a copy installed into a prefix, then moved: the
// browsers and Claude Desktop follow the new copy, the hand-connected assistants are
// reported with the commands that reconnect them, and nothing else changes.
#include <gtest/gtest.h>

#include <map>

#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using Snapshot = std::map<std::string, std::string>;

class RepairCommandsTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string home = temp.file("home");
    std::string config = temp.file("home/.config");
    std::string data = temp.file("home/.local/share");
    std::string prefixA = temp.file("opt/brell-a");
    std::string prefixB = temp.file("opt/brell-b");

    std::string chrome = config + "/google-chrome/NativeMessagingHosts/dev.brell.memory.json";
    std::string chromium = config + "/chromium/NativeMessagingHosts/dev.brell.memory.json";
    std::string claudeDesktop = config + "/Claude/claude_desktop_config.json";
    std::string claudeDesktopBackup = config + "/Claude/claude_desktop_config.before-brell.json";
    std::string claudeCode = home + "/.claude.json";
    std::string codex = home + "/.codex/config.toml";
    std::string gemini = home + "/.gemini/settings.json";
    std::string companionFolder = data + "/BRELL/Companion/chrome";

    // An installed tree as `make install PREFIX=<prefix>` lays it out.
    void install(const std::string& prefix) {
        for (const char* program : {"brell", "brell-memory-host"}) {
            std::string to = prefix + "/bin/" + program;
            FileSystem::writeAtomically(to, *FileSystem::read(test::binary(program)));
            FileSystem::setPermissions(to, 0755);
        }
        companion(prefix, "1.0");
        FileSystem::writeAtomically(prefix + "/share/brell/companion/chrome/worker.js", "// the service worker\n");
    }

    void companion(const std::string& prefix, const std::string& version) {
        FileSystem::writeAtomically(prefix + "/share/brell/companion/chrome/manifest.json",
                                    Json{{"manifest_version", 3}, {"version", version}, {"key", "S0VZ"}}.dump());
    }

    test::ProcessResult brell(const std::string& prefix, std::vector<std::string> args) {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.setEnv = {{"HOME", home},
                          {"XDG_CONFIG_HOME", config},
                          {"XDG_DATA_HOME", data},
                          {"BRELL_MEMORY_DB", temp.file("memory/Memory.sqlite")},
                          {"BRELL_BOARD", temp.file("memory/board.json")}};
        options.unsetEnv = {"CODEX_HOME"};
        return test::run(prefix + "/bin/brell", options);
    }

    // Every file under the home folder and the installed trees' share folders.
    Snapshot snapshot() {
        Snapshot files;
        for (const std::string& root : {home, prefixA + "/share", prefixB + "/share"}) {
            for (const auto& relative : FolderTree::regularFiles(root).value_or(std::vector<std::string>{})) {
                files[root + relative] = *FileSystem::read(root + relative);
            }
        }
        return files;
    }

    static std::string entry(const std::string& command) {
        return R"({"command":")" + command + R"(","args":["--mcp"]})";
    }
    static std::string command(const std::string& file) {
        auto bytes = FileSystem::read(file);
        return bytes ? Json::parse(*bytes)["mcpServers"]["brell"]["command"].get<std::string>() : "<none>";
    }
    static void expectLine(const std::string& out, const std::string& line) {
        EXPECT_NE(out.find(line + "\n"), std::string::npos) << "missing line: " << line << "\n--- output:\n" << out;
    }
};

TEST_F(RepairCommandsTest, InstallMoveAndRepair) {
    install(prefixA);
    auto r = brell(prefixA, {"install"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    expectLine(r.out, "Companion extension: installed version 1.0");
    std::string oldApp = prefixA + "/bin/brell";
    FileSystem::writeAtomically(claudeDesktop, R"({"globalShortcut":"Ctrl+Space","mcpServers":{"files":)"
                                               R"({"command":"/usr/bin/npx","args":["-y","files"]},"brell":)" +
                                                   entry(oldApp) + "}}");
    FileSystem::writeAtomically(claudeCode, R"({"numStartups":4,"mcpServers":{"brell":)" + entry(oldApp) + "}}");
    FileSystem::writeAtomically(codex, "model = \"o4\"\n\n[mcp_servers.brell]\ncommand = \"" + oldApp +
                                           "\"\nargs = [\"--mcp\"]\n");
    FileSystem::writeAtomically(gemini, R"({"theme":"Default","mcpServers":{"brell":)" + entry(oldApp) + "}}");

    r = brell(prefixA, {"repair"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out, "This copy: " + oldApp + " (installed in " + prefixA + ")");
    expectLine(r.out, "Google Chrome: points at this copy");
    expectLine(r.out, "Claude Desktop: connected to this copy");
    expectLine(r.out, "Codex: connected to this copy of BRELL.");
    expectLine(r.out, "Companion extension: version 1.0, up to date");
    EXPECT_EQ(FileSystem::read(companionFolder + "/worker.js"), "// the service worker\n");

    // The installed tree moves, and its companion copy is newer than the one Chrome loads.
    FileSystem::move(prefixA, prefixB);
    companion(prefixB, "1.1");
    std::string newApp = prefixB + "/bin/brell";
    std::string newHost = prefixB + "/bin/brell-memory-host";
    Snapshot before = snapshot();

    r = brell(prefixB, {"repair", "--dry-run"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out,
               "Google Chrome: points at " + prefixA + "/bin/brell-memory-host; would be repointed at this copy");
    expectLine(r.out, "Claude Desktop: uses " + oldApp + "; would be repointed at this copy");
    expectLine(r.out, "Companion extension: version 1.0; would update to version 1.1");
    expectLine(r.out, "Nothing was changed (dry run).");
    EXPECT_EQ(snapshot(), before) << "a dry run changes nothing";

    r = brell(prefixB, {"repair"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out, "This copy: " + newApp + " (installed in " + prefixB + ")");
    expectLine(r.out, "Google Chrome: repointed at this copy (was " + prefixA + "/bin/brell-memory-host)");
    expectLine(r.out, "Chromium: repointed at this copy (was " + prefixA + "/bin/brell-memory-host)");
    expectLine(r.out, "Claude Desktop: repointed at this copy (was " + oldApp + "); reopen Claude Desktop");
    expectLine(r.out, "Claude Code: uses a copy of BRELL that's gone (" + oldApp +
                          "). Reconnect with: claude mcp remove --scope user brell && claude mcp add --scope user "
                          "brell -- " +
                          newApp + " --mcp");
    expectLine(r.out, "Codex: uses a copy of BRELL that's gone (" + oldApp +
                          "). Reconnect with: codex mcp remove brell && codex mcp add brell -- " + newApp + " --mcp");
    expectLine(r.out, "Gemini CLI: uses a copy of BRELL that's gone (" + oldApp +
                          "). Reconnect with: gemini mcp remove --scope user brell && gemini mcp add --scope user "
                          "brell " +
                          newApp + " -- --mcp");
    expectLine(r.out, "Companion extension: updated from version 1.0 to 1.1");
    expectLine(r.out, "Updated the Chrome link and the Chromium link and Claude Desktop to use this copy of BRELL. "
                      "Reopen Claude Desktop to pick it up. If Chrome lists BRELL Memory as missing, load it once "
                      "from BRELL's own folder: Help → Welcome to BRELL → Copy Folder Path. BRELL updated its Chrome "
                      "extension: press Reload on BRELL Memory in chrome://extensions. Claude Code, Codex, Gemini "
                      "CLI still use a copy of BRELL that's gone: reconnect in Sources & Privacy → AI connections.");

    Snapshot after = snapshot();
    for (const auto& file : {chrome, chromium}) {
        SCOPED_TRACE(file);
        Json was = Json::parse(before.at(file));
        was["path"] = newHost;
        EXPECT_EQ(Json::parse(after.at(file)), was);
    }
    EXPECT_EQ(command(claudeDesktop), newApp);
    Json desktop = Json::parse(before.at(claudeDesktop));
    desktop["mcpServers"]["brell"]["command"] = newApp;
    EXPECT_EQ(Json::parse(after.at(claudeDesktop)), desktop) << "the other server and settings are kept";
    EXPECT_EQ(after.at(claudeDesktopBackup), before.at(claudeDesktop));
    EXPECT_EQ(after.at(companionFolder + "/manifest.json"),
              before.at(prefixB + "/share/brell/companion/chrome/manifest.json"));

    // Nothing else changed, byte for byte.
    for (const auto& changed : {chrome, chromium, claudeDesktop, companionFolder + "/manifest.json"}) {
        before.erase(changed);
        after.erase(changed);
    }
    after.erase(claudeDesktopBackup);
    EXPECT_EQ(after, before);

    // A second run finds everything current that it can repair.
    r = brell(prefixB, {"repair"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out, "Google Chrome: points at this copy");
    expectLine(r.out, "Chromium: points at this copy");
    expectLine(r.out, "Claude Desktop: connected to this copy");
    expectLine(r.out, "Companion extension: version 1.1, up to date");
    expectLine(r.out, "Claude Code, Codex, Gemini CLI still use a copy of BRELL that's gone: reconnect in Sources & "
                      "Privacy → AI connections.");
}

TEST_F(RepairCommandsTest, LeavesForeignFilesAndReportsFailure) {
    install(prefixA);
    const std::string otherHost = R"({"name":"com.example.other","path":"/usr/bin/other"})";
    FileSystem::writeAtomically(chrome, otherHost);
    FileSystem::writeAtomically(companionFolder + "/manifest.json", R"({"version":"9","key":"T1RIRVI="})");
    const std::string desktop = R"({"mcpServers":{"brell":{"command":"/usr/bin/node","args":["--mcp"]}}})";
    FileSystem::writeAtomically(claudeDesktop, desktop);
    Snapshot before = snapshot();
    auto r = brell(prefixA, {"repair"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out, "Google Chrome: a file of that name is there but is not BRELL's; left alone");
    expectLine(r.out, "Chromium: not installed; run: brell install");
    expectLine(r.out, "Claude Desktop: its brell entry is not this program with the argument --mcp; left alone");
    expectLine(r.out, "Companion extension: the folder holds another extension; left alone");
    expectLine(r.out, "Claude Code: not connected. Connect with: claude mcp add --scope user brell -- " + prefixA +
                          "/bin/brell --mcp");
    EXPECT_EQ(snapshot(), before);

    // What cannot be written is a failure, not a success: a file stands where the
    // companion's folder must go.
    FolderTree::remove(data + "/BRELL");
    FileSystem::writeAtomically(data + "/BRELL/Companion", "a file");
    r = brell(prefixA, {"repair"});
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    expectLine(r.out, "Companion extension: could not be synced: failed to create folder " + data +
                          "/BRELL/Companion: Not a directory");
    EXPECT_EQ(r.err, "brell: some links could not be repaired; see the lines above.\n");
    EXPECT_EQ(FileSystem::read(data + "/BRELL/Companion"), "a file");
}

TEST_F(RepairCommandsTest, DoctorAndVersion) {
    install(prefixA);
    brell(prefixA, {"install"});
    // The extension's folder went missing since: doctor says so and leaves it missing.
    FolderTree::remove(companionFolder);
    auto r = brell(prefixA, {"doctor"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLine(r.out, "This copy: " + prefixA + "/bin/brell (installed in " + prefixA + ")");
    expectLine(r.out, "Google Chrome: points at this copy");
    expectLine(r.out, "Claude Desktop: not connected");
    expectLine(r.out, "Companion extension: not installed; would install version 1.0");
    expectLine(r.out, "Run brell repair to point them at this copy.");
    EXPECT_FALSE(FileSystem::exists(companionFolder)) << "doctor only looks";

    // A copy outside an installed tree is told how to install.
    std::string loose = temp.file("loose");
    FileSystem::writeAtomically(loose + "/brell", *FileSystem::read(test::binary("brell")));
    FileSystem::setPermissions(loose + "/brell", 0755);
    test::ProcessOptions options;
    options.args = {"doctor"};
    options.setEnv = {{"HOME", home},
                      {"XDG_CONFIG_HOME", config},
                      {"XDG_DATA_HOME", data},
                      {"BRELL_MEMORY_DB", temp.file("memory/Memory.sqlite")},
                      {"BRELL_BOARD", temp.file("b.json")}};
    r = test::run(loose + "/brell", options);
    expectLine(r.out, "BRELL works best installed: Chrome and your assistants remember where BRELL is, so a fixed "
                      "place keeps them connected. Install it with make install (PREFIX=~/.local for your account "
                      "only).");

    r = brell(prefixA, {"--version"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(r.out.starts_with("brell Version 0.1.0 (")) << r.out;
    EXPECT_NE(r.out.find(" \u00B7 "), std::string::npos) << r.out;
}

} // namespace
} // namespace brell
