// Reading BRELL's entry out of the assistants' files, classifying it, and repairing
// Claude Desktop's file with its backup.
#include <gtest/gtest.h>

#include "BrellCore/integration/AssistantConfigPath.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using AssistantConfigPath::jsonCommand;
using AssistantConfigPath::tomlCommand;

TEST(AssistantConfigPathTest, TomlCommandReadsOnlyOurTable) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<std::string> command;
    };
    const Case cases[] = {
        {"double-quoted", "[mcp_servers.brell]\ncommand = \"/opt/brell/bin/brell\"\nargs = [\"--mcp\"]\n",
         "/opt/brell/bin/brell"},
        {"doubled backslashes become one", "[mcp_servers.brell]\ncommand = \"C:\\\\Tools\\\\BRELL\"\n",
         "C:\\Tools\\BRELL"},
        {"an escaped quote does not end the value", "[mcp_servers.brell]\ncommand = \"/a \\\"b\\\"/BRELL\"\n",
         "/a \"b\"/BRELL"},
        {"a lone backslash stays", "[mcp_servers.brell]\ncommand = \"/a\\b/BRELL\"\n", "/a\\b/BRELL"},
        {"single quotes are literal", "[mcp_servers.brell]\ncommand = '/x\\\\y/BRELL' # note\n", "/x\\\\y/BRELL"},
        {"bare value loses its comment", "[mcp_servers.brell]\ncommand = /usr/bin/brell # the app\n", "/usr/bin/brell"},
        {"bare value that is only a comment", "[mcp_servers.brell]\ncommand = # /usr/bin/brell\n", std::nullopt},
        {"indented, tabs and CRLF", "  [mcp_servers.brell]\r\n\tcommand\t=\t\"/b/BRELL\"\r\n", "/b/BRELL"},
        {"other table ignored", "[mcp_servers.other]\ncommand = \"/other\"\n", std::nullopt},
        {"other table before ours",
         "[mcp_servers.other]\ncommand = \"/other\"\n[mcp_servers.brell]\ncommand = "
         "\"/ours\"\n",
         "/ours"},
        {"a later header ends our table", "[mcp_servers.brell]\nargs = []\n[mcp_servers.x]\ncommand = \"/x\"\n",
         std::nullopt},
        {"header with inner spaces does not count", "[ mcp_servers.brell ]\ncommand = \"/x\"\n", std::nullopt},
        {"header with a comment does not count", "[mcp_servers.brell] # ours\ncommand = \"/x\"\n", std::nullopt},
        {"top level ignored", "command = \"/top\"\n", std::nullopt},
        {"commands is another key", "[mcp_servers.brell]\ncommands = \"/no\"\ncommand = \"/yes\"\n", "/yes"},
        {"no equals sign is skipped", "[mcp_servers.brell]\ncommand\ncommand = \"/yes\"\n", "/yes"},
        {"unclosed double quote stops at once", "[mcp_servers.brell]\ncommand = \"/no\ncommand = \"/yes\"\n",
         std::nullopt},
        {"unclosed single quote stops at once", "[mcp_servers.brell]\ncommand = '/no\ncommand = '/yes'\n",
         std::nullopt},
        {"first value wins", "[mcp_servers.brell]\ncommand = \"/first\"\ncommand = \"/second\"\n", "/first"},
        {"empty quoted value", "[mcp_servers.brell]\ncommand = \"\"\n", ""},
        {"empty text", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tomlCommand(c.text), c.command);
    }
}

TEST(AssistantConfigPathTest, JsonCommandFollowsOnePath) {
    struct Case {
        const char* name;
        const char* json;
        std::optional<std::string> command;
    };
    const Case cases[] = {
        {"ours", R"({"mcpServers":{"brell":{"command":"/a/BRELL","args":["--mcp"]}}})", "/a/BRELL"},
        {"other servers beside", R"({"x":1,"mcpServers":{"o":{},"brell":{"command":"/a"}}})", "/a"},
        {"command not text", R"({"mcpServers":{"brell":{"command":["/a"]}}})", std::nullopt},
        {"brell not an object", R"({"mcpServers":{"brell":"/a"}})", std::nullopt},
        {"servers not an object", R"({"mcpServers":[]})", std::nullopt},
        {"list at the top", R"([{"mcpServers":{"brell":{"command":"/a"}}}])", std::nullopt},
        {"not JSON", "{mcpServers", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(jsonCommand(c.json), c.command);
    }
}

TEST(AssistantConfigPathTest, StatusAndRecognition) {
    auto exists = [](const std::string& p) { return p == "/elsewhere/BRELL"; };
    const std::string current = "/Applications/BRELL.app/Contents/MacOS/BRELL";
    EXPECT_EQ(AssistantConfigPath::status(std::nullopt, current, exists), ConnectionPath::notFound());
    EXPECT_EQ(AssistantConfigPath::status("", current, exists), ConnectionPath::notFound());
    EXPECT_EQ(AssistantConfigPath::status("/Applications//BRELL.app/./Contents/MacOS/BRELL", current, exists),
              ConnectionPath::current());
    EXPECT_EQ(AssistantConfigPath::status("/gone/BRELL", current, exists), ConnectionPath::stale("/gone/BRELL", false));
    EXPECT_EQ(AssistantConfigPath::status("/elsewhere/BRELL", current, exists),
              ConnectionPath::stale("/elsewhere/BRELL", true));
    EXPECT_TRUE(ConnectionPath::stale("/x", false).isStale());
    EXPECT_FALSE(ConnectionPath::current().isStale());

    EXPECT_TRUE(AssistantConfigPath::looksLikeBRELLBinary("/Applications/BRELL.app/Contents/MacOS/BRELL"));
    EXPECT_TRUE(AssistantConfigPath::looksLikeBRELLBinary("/opt/BRELL"));
    EXPECT_FALSE(AssistantConfigPath::looksLikeBRELLBinary("/usr/bin/node"));
    EXPECT_FALSE(AssistantConfigPath::looksLikeBRELLBinary("/opt/BRELL.sh"));
}

class ClaudeDesktopRepairTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string config = folder.file("Claude/claude_desktop_config.json");
    std::string backup = folder.file("Claude/claude_desktop_config.before-brell.json");
    const std::string current = "/Applications/BRELL.app/Contents/MacOS/BRELL";

    void write(const std::string& text) { FileSystem::writeAtomically(config, text); }
    std::string read() { return FileSystem::read(config).value_or("<none>"); }
};

TEST_F(ClaudeDesktopRepairTest, RepairsOurEntryKeepsTheRestAndBacksUp) {
    const std::string before = R"({"theme":"dark","mcpServers":{"other":{"command":"/usr/bin/node","args":["s.js"]},)"
                               R"("brell":{"command":"/Volumes/BRELL/BRELL.app/Contents/MacOS/BRELL","args":["--mcp"],)"
                               R"("env":{"A":"1"}}},"zeta":[1,2]})";
    write(before);
    EXPECT_EQ(AssistantConfigPath::planClaudeDesktop(config, current),
              ManifestRepair::repaired("/Volumes/BRELL/BRELL.app/Contents/MacOS/BRELL"));
    EXPECT_EQ(read(), before) << "a plan writes nothing";
    EXPECT_FALSE(FileSystem::exists(backup));

    EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, current),
              ManifestRepair::repaired("/Volumes/BRELL/BRELL.app/Contents/MacOS/BRELL"));
    EXPECT_EQ(FileSystem::read(backup), before);
    std::string after = read();
    EXPECT_NE(after.find("\"/Applications/BRELL.app/Contents/MacOS/BRELL\""), std::string::npos) << "no \\/ escapes";
    Json expected = Json::parse(before);
    expected["mcpServers"]["brell"]["command"] = current;
    EXPECT_EQ(Json::parse(after), expected);
    EXPECT_LT(after.find("\"mcpServers\""), after.find("\"theme\"")) << "keys sorted";
    EXPECT_LT(after.find("\"theme\""), after.find("\"zeta\""));

    // Repaired once, the next run finds it current and touches nothing.
    EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, current), ManifestRepair::current());
    EXPECT_EQ(read(), after);
    EXPECT_EQ(FileSystem::read(backup), before);

    // The backup is overwritten by the next repair.
    write(R"({"mcpServers":{"brell":{"command":"/old/BRELL","args":["--mcp"]}}})");
    EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, current), ManifestRepair::repaired("/old/BRELL"));
    EXPECT_EQ(FileSystem::read(backup), R"({"mcpServers":{"brell":{"command":"/old/BRELL","args":["--mcp"]}}})");
}

TEST_F(ClaudeDesktopRepairTest, LeavesWhatIsNotOurs) {
    struct Case {
        const char* name;
        std::optional<std::string> text;
        ManifestRepair result;
    };
    const Case cases[] = {
        {"absent", std::nullopt, ManifestRepair::missing()},
        {"not JSON", std::string("{"), ManifestRepair::missing()},
        {"a list at the top", std::string(R"([{"mcpServers":{"brell":{"command":"/x/BRELL","args":["--mcp"]}}}])"),
         ManifestRepair::missing()},
        {"no servers", std::string(R"({"theme":"dark"})"), ManifestRepair::missing()},
        {"no brell entry", std::string(R"({"mcpServers":{"x":{"command":"/x/BRELL"}}})"), ManifestRepair::missing()},
        {"command not text", std::string(R"({"mcpServers":{"brell":{"command":7}}})"), ManifestRepair::missing()},
        {"already current but for a doubled slash and a dot",
         std::string(R"({"mcpServers":{"brell":{"command":"/Applications//BRELL.app/./Contents/MacOS/BRELL",)"
                     R"("args":["--mcp"]}}})"),
         ManifestRepair::current()},
        {"another program", std::string(R"({"mcpServers":{"brell":{"command":"/usr/bin/node","args":["--mcp"]}}})"),
         ManifestRepair::foreign()},
        {"ours without args", std::string(R"({"mcpServers":{"brell":{"command":"/old/BRELL"}}})"),
         ManifestRepair::foreign()},
        {"ours with an extra argument",
         std::string(R"({"mcpServers":{"brell":{"command":"/old/BRELL","args":["--mcp","-v"]}}})"),
         ManifestRepair::foreign()},
        {"ours with args of another type",
         std::string(R"({"mcpServers":{"brell":{"command":"/old/BRELL","args":"--mcp"}}})"), ManifestRepair::foreign()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileSystem::remove(config);
        if (c.text) {
            write(*c.text);
        }
        EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, current), c.result);
        EXPECT_EQ(FileSystem::read(config), c.text) << "left byte for byte";
        EXPECT_FALSE(FileSystem::exists(backup));
    }
}

TEST_F(ClaudeDesktopRepairTest, AnExecutableOfTheRunningCopysNameIsOurs) {
    // The command-line build's executable is "brell": a moved one is repaired, an entry
    // naming another program is still left alone.
    write(R"({"mcpServers":{"brell":{"command":"/old/prefix/bin/brell","args":["--mcp"]}}})");
    EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, "/new/prefix/bin/brell"),
              ManifestRepair::repaired("/old/prefix/bin/brell"));
    EXPECT_EQ(jsonCommand(read()), "/new/prefix/bin/brell");
    write(R"({"mcpServers":{"brell":{"command":"/old/prefix/bin/python3","args":["--mcp"]}}})");
    EXPECT_EQ(AssistantConfigPath::repairClaudeDesktop(config, "/new/prefix/bin/brell"), ManifestRepair::foreign());
}

TEST_F(ClaudeDesktopRepairTest, AWriteFailureIsReported) {
    // A file whose name leaves no room for the temporary sibling an atomic write needs:
    // readable, but it cannot be replaced (even by root).
    std::string longName = folder.file(std::string(240, 'c') + ".json");
    const std::string text = R"({"mcpServers":{"brell":{"command":"/old/BRELL","args":["--mcp"]}}})";
    FileSystem::writeAtomically(folder.file("short.json"), text);
    FileSystem::move(folder.file("short.json"), longName);
    auto r = AssistantConfigPath::repairClaudeDesktop(longName, current);
    ASSERT_EQ(r.kind, ManifestRepair::Kind::failed) << debugText(r);
    EXPECT_TRUE(r.text.starts_with("failed to create ")) << r.text;
    EXPECT_TRUE(r.text.ends_with(": File name too long")) << r.text;
    EXPECT_EQ(FileSystem::read(longName), text);
}

} // namespace
} // namespace brell
