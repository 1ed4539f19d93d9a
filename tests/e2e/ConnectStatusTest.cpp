// brell connect against a temporary home whose assistants' files register the connector
// in every state: this copy, a copy that is gone, another copy that still exists, and no
// entry at all. Each assistant gets one status line with the exact command that
// connects it to this copy, and no assistant's file is written.
#include <gtest/gtest.h>

#include <map>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

class ConnectStatusTest : public ::testing::Test {
protected:
    test::AppHome home;
    std::string self = *FileSystem::realPath(test::binary("brell"));
    std::string claudeCode = home.file(".claude.json");
    std::string codex = home.file(".codex/config.toml");
    std::string gemini = home.file(".gemini/settings.json");
    std::string claudeDesktop = home.file("config/Claude/claude_desktop_config.json");

    static std::string jsonEntry(const std::string& command, const std::string& args = R"(["--mcp"])") {
        return R"({"theme":"Default","mcpServers":{"files":{"command":"/usr/bin/npx"},"brell":{"command":")" + command +
               R"(","args":)" + args + "}}}";
    }
    static std::string tomlEntry(const std::string& command) {
        return "model = \"o4\"\n\n[mcp_servers.brell]\ncommand = \"" + command + "\"\nargs = [\"--mcp\"]\n";
    }

    // Every assistant's file registers `command`; nothing when it is empty.
    void registerAll(const std::string& command) {
        if (command.empty()) {
            return;
        }
        FileSystem::writeAtomically(claudeCode, jsonEntry(command));
        FileSystem::writeAtomically(codex, tomlEntry(command));
        FileSystem::writeAtomically(gemini, jsonEntry(command));
        FileSystem::writeAtomically(claudeDesktop, jsonEntry(command));
    }

    std::map<std::string, std::string> files() {
        std::map<std::string, std::string> out;
        for (const auto& file : {claudeCode, codex, gemini, claudeDesktop}) {
            out[file] = FileSystem::read(file).value_or("<none>");
        }
        return out;
    }

    test::ProcessResult connect(std::vector<std::string> args = {}, std::map<std::string, std::string> env = {}) {
        args.insert(args.begin(), "connect");
        env.emplace("CODEX_HOME", "");
        return home.brell(std::move(args), "", env);
    }

    static void expectLines(const std::string& out, const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            EXPECT_NE(out.find(line + "\n"), std::string::npos) << "missing line: " << line << "\n--- output:\n" << out;
        }
    }
};

TEST_F(ConnectStatusTest, EachAssistantsStateAndTheCommandThatConnectsIt) {
    const std::string gone = "/opt/brell-gone/bin/brell";
    const std::string other = home.file("other copy/bin/brell");
    FileSystem::writeAtomically(other, "another copy");
    const std::string node = home.file("bin/node");
    FileSystem::writeAtomically(node, "another program");

    const std::string claudeAdd = "claude mcp add --scope user brell -- " + self + " --mcp";
    const std::string codexAdd = "codex mcp add brell -- " + self + " --mcp";
    const std::string geminiAdd = "gemini mcp add --scope user brell " + self + " -- --mcp";
    const std::string claudeRemove = "claude mcp remove --scope user brell && ";
    const std::string codexRemove = "codex mcp remove brell && ";
    const std::string geminiRemove = "gemini mcp remove --scope user brell && ";

    struct Case {
        const char* name;
        std::string command; // what every file registers; empty: no file at all
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"no entry anywhere",
         "",
         {"  Status: not connected. Connect with: " + claudeAdd, "  Status: not connected. Connect with: " + codexAdd,
          "  Status: not connected. Connect with: " + geminiAdd,
          "  Status: not connected. Add the entry below, then reopen Claude Desktop."}},
        {"this copy", self, {"  Status: connected to this copy of BRELL."}},
        {"this copy, written with a doubled slash and a dot",
         FileSystem::parentFolder(self) + "//./brell",
         {"  Status: connected to this copy of BRELL."}},
        {"a copy that is gone",
         gone,
         {"  Status: uses a copy of BRELL that's gone (" + gone + "). Reconnect with: " + claudeRemove + claudeAdd,
          "  Status: uses a copy of BRELL that's gone (" + gone + "). Reconnect with: " + codexRemove + codexAdd,
          "  Status: uses a copy of BRELL that's gone (" + gone + "). Reconnect with: " + geminiRemove + geminiAdd,
          "  Status: uses a copy of BRELL that's gone (" + gone + "). Reconnect with: brell repair"}},
        {"another copy that still exists",
         other,
         {"  Status: uses another copy of BRELL (" + other + "). To use this one: " + claudeRemove + claudeAdd,
          "  Status: uses another copy of BRELL (" + other + "). To use this one: " + codexRemove + codexAdd,
          "  Status: uses another copy of BRELL (" + other + "). To use this one: " + geminiRemove + geminiAdd,
          "  Status: uses another copy of BRELL (" + other + "). To use this one: brell repair"}},
        {"another program",
         node,
         {"  Status: uses another copy of BRELL (" + node + "). To use this one: " + claudeRemove + claudeAdd,
          "  Status: uses " + node +
              ", which brell repair leaves alone. To use this copy, replace that entry with the one below, then "
              "reopen Claude Desktop."}},
        {"an escape sequence in the registered path (JSON writes it as \\u001b)",
         "/opt/\\u001b[31mred/bin/brell",
         {"  Status: uses a copy of BRELL that's gone (/opt/red/bin/brell). Reconnect with: " + claudeRemove +
          claudeAdd}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& file : {claudeCode, codex, gemini, claudeDesktop}) {
            FileSystem::remove(file);
        }
        registerAll(c.command);
        auto before = files();
        auto r = connect();
        ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
        expectLines(r.out, c.lines);
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no escape reaches the terminal";
        EXPECT_EQ(files(), before) << "brell connect writes no assistant's file";
    }
}

TEST_F(ConnectStatusTest, OneAssistantByNameAndItsOwnFile) {
    // Codex reads CODEX_HOME when it is set: the status and the entry follow it.
    std::string codexHome = home.file("codex-home");
    FileSystem::writeAtomically(codexHome + "/config.toml", tomlEntry(self));
    FileSystem::writeAtomically(codex, tomlEntry("/opt/brell-gone/bin/brell"));
    auto r = connect({"codex"}, {{"CODEX_HOME", codexHome}});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    EXPECT_TRUE(r.out.starts_with("Codex\n"
                                  "  Status: connected to this copy of BRELL.\n"
                                  "  Add this to " +
                                  codexHome + "/config.toml:\n"))
        << r.out;
    EXPECT_EQ(r.out.find("Claude Code"), std::string::npos) << "only the assistant named";
    EXPECT_NE(r.out.find("Skill: installed at " + codexHome + "/skills/"), std::string::npos)
        << "the skill goes where that Codex reads it: " << r.out;

    // A file that is not what the assistant reads counts as no entry.
    FileSystem::writeAtomically(claudeCode, "{\"mcpServers\":");
    r = connect({"claude-code"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    expectLines(r.out,
                {"  Status: not connected. Connect with: claude mcp add --scope user brell -- " + self + " --mcp"});

    // --print stays only the entry.
    r = connect({"gemini-cli", "--print"});
    EXPECT_EQ(r.out.find("Status"), std::string::npos) << r.out;
}

} // namespace
} // namespace brell
