// brell --mcp as an assistant runs it, and brell connect as a user does: the real
// executable over a board, sharing settings and a memory filled by an import.
#include <gtest/gtest.h>

#include "BrellCore/connector/AccessLog.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellCore/connector/AssistantGuide.h"
#include "e2e/ConnectorSnapshot.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

std::string rpc(const OrderedJson& id, const std::string& method, const OrderedJson& params = OrderedJson::object()) {
    return OrderedJson{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump() + "\n";
}

std::string toolCall(int id, const std::string& name, const OrderedJson& arguments = OrderedJson::object()) {
    return rpc(id, "tools/call", {{"name", name}, {"arguments", arguments}});
}

// The reply lines of a run, each parsed.
std::vector<Json> replies(const std::string& out) {
    std::vector<Json> parsed;
    auto lines = Text::split(out, '\n');
    EXPECT_TRUE(lines.empty() || lines.back().empty()) << "the output does not end with a line feed";
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        auto json = JsonText::parse(lines[i]);
        EXPECT_TRUE(json && json->is_object() && (*json)["jsonrpc"] == "2.0") << lines[i];
        parsed.push_back(json.value_or(nullptr));
    }
    return parsed;
}

class ConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto imported =
            home.brell({"import", "transcript", std::string(BRELL_TEST_DATA) + "/../../demo/lecture.vtt", "--video",
                        "https://www.youtube.com/watch?v=floodDemo01", "--title", "Storm surges"});
        ASSERT_EQ(imported.exitStatus, 0) << imported.err;
        auto saved = home.brell({"board", "add-quote", "--text", "The Thames Barrier closes before a storm surge.",
                                 "--url", "https://rivers.example/thames", "--title", "The Thames"});
        ASSERT_EQ(saved.exitStatus, 0) << saved.err;
        AssistantAccess(true, {Lane::links, Lane::notes, Lane::evidence}, true, false, true, true)
            .save(AssistantAccess::fileURL(home.boardPath()));
    }

    // Every file the connector must leave alone, and the memory's rows.
    std::string snapshot() const { return test::connectorSnapshot(home); }

    std::size_t logLines() const { return AccessLog::recent(AccessLog::fileURL(home.boardPath()), 1000).size(); }

    test::ProcessResult mcp(const std::string& input) const { return home.brell({"--mcp"}, input); }

    test::AppHome home;
};

TEST_F(ConnectorTest, AnAssistantsConversationIsAnsweredInOrderAndChangesNothing) {
    std::string before = snapshot();
    std::string input =
        rpc(0, "initialize",
            {{"protocolVersion", "2025-06-18"},
             {"capabilities", OrderedJson::object()},
             {"clientInfo", {{"name", "test-client"}, {"version", "1.0"}}}}) +
        R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
        "\n" +
        rpc(1, "tools/list") + toolCall(2, "find_brell_moment", {{"question", "the part about the Thames Barrier"}}) +
        toolCall(3, "search_brell", {{"query", "thames"}}) + rpc("four", "ping") + rpc(nullptr, "prompts/list") +
        toolCall(5, "get_brell_activity") + rpc(6, "resources/read", {{"uri", "brell://guide"}});
    auto r = mcp(input);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto lines = replies(r.out);
    ASSERT_EQ(lines.size(), 8u) << r.out;
    std::vector<Json> ids;
    for (const Json& line : lines) {
        ids.push_back(line["id"]);
    }
    EXPECT_EQ(Json(ids), Json::parse(R"([0,1,2,3,"four",null,5,6])"));
    EXPECT_EQ(lines[0]["result"]["serverInfo"]["name"], "brell");
    EXPECT_EQ(lines[1]["result"]["tools"].size(), 10u);

    std::string moment = lines[2]["result"]["content"][0]["text"];
    EXPECT_FALSE(lines[2]["result"]["isError"].get<bool>());
    EXPECT_TRUE(moment.starts_with("Moments in BRELL for \"the part about the Thames Barrier\": ")) << moment;
    EXPECT_NE(moment.find("[Video transcript · 00:27 · "), std::string::npos) << moment;
    EXPECT_NE(moment.find("Open: <https://www.youtube.com/watch?v=floodDemo01&t=27s"), std::string::npos);
    EXPECT_NE(moment.find("> The Thames Barrier closes before a storm surge."), std::string::npos);
    // Forward slashes travel unescaped.
    EXPECT_EQ(r.out.find("\\/"), std::string::npos);
    EXPECT_NE(r.out.find("https://www.youtube.com/watch?v=floodDemo01"), std::string::npos);

    EXPECT_EQ(snapshot(), before);
    // find, search, activity and the guide were answered; tools/list, ping and prompts are not reads.
    EXPECT_EQ(logLines(), 4u);
}

TEST_F(ConnectorTest, OddLinesGetTheirRepliesAndTheLoopGoesOn) {
    std::string before = snapshot();
    std::string megabyte = rpc(1, "ping", {{"pad", std::string(1 << 20, 'p')}});
    std::string input = megabyte + "[1,2,3]\n" + "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"p\xFF\"}\n" + "{\n" +
                        R"({"jsonrpc":"2.0","method":"tools/call","params":{"name":"search_brell"}})"
                        "\n" +
                        toolCall(3, "no_such_tool") + rpc(4, "ping");
    auto r = mcp(input);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = replies(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    const Json parseError = Json::parse(R"({"code":-32700,"message":"Parse error"})");
    EXPECT_EQ(lines[0]["id"], 1);
    EXPECT_EQ(lines[0]["result"], Json::object());
    for (int i : {1, 2, 3}) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(lines[i]["id"].is_null());
        EXPECT_EQ(lines[i]["error"], parseError);
    }
    EXPECT_EQ(lines[4]["result"]["content"][0]["text"], "Unknown tool no_such_tool.");
    EXPECT_EQ(lines[4]["result"]["isError"], true);
    EXPECT_EQ(lines[5]["id"], 4);
    EXPECT_EQ(logLines(), 0u);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(ConnectorTest, ANotificationAloneGivesNoOutput) {
    auto r = mcp(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                 "\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    auto empty = mcp("");
    EXPECT_EQ(empty.exitStatus, 0);
    EXPECT_EQ(empty.out, "");
}

TEST_F(ConnectorTest, TheConversationTakesTurns) {
    test::ProcessOptions options;
    options.args = {"--mcp"};
    options.setEnv = home.env();
    test::Subprocess child(test::binary("brell"), options);
    std::string out;
    for (int id = 1; id <= 3; ++id) {
        ASSERT_TRUE(child.write(rpc(id, "ping")));
        std::string expected = R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                               R"(,"result":{}})"
                               "\n";
        while (out.size() < expected.size() && child.readSome(out, std::chrono::seconds(30))) {
        }
        EXPECT_EQ(out, expected); // each reply is flushed before the next request is read
        out.clear();
    }
    child.closeInput();
    auto result = child.wait(std::chrono::seconds(30));
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(ConnectorFreshHomeTest, AMissingMemoryIsNotCreated) {
    test::AppHome home;
    auto r = home.brell({"--mcp"}, toolCall(1, "find_brell_moment", {{"question", "tides"}}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = replies(r.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"]["content"][0]["text"],
              "Sharing is off. Ask the user to turn on \"Let AI assistants read my BRELL\" in BRELL → Sources & "
              "Privacy → AI connections.");
    EXPECT_FALSE(FileSystem::exists(home.memoryPath()));
    EXPECT_FALSE(FileSystem::exists(home.boardPath()));
    EXPECT_EQ(home.brell({"--mcp", "extra"}).exitStatus, 2);
}

TEST(ConnectCommandTest, PrintsEachAssistantsEntryWithThisBuildsPath) {
    test::AppHome home;
    std::string self = *FileSystem::realPath(test::binary("brell"));
    auto r = home.brell({"connect", "claude-code", "--print"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out),
              Json::parse(R"({"mcpServers":{"brell":{"command":")" + self + R"(","args":["--mcp"]}}})"));
    auto codex = home.brell({"connect", "codex", "--print"});
    EXPECT_EQ(codex.out, "[mcp_servers.brell]\ncommand = \"" + self + "\"\nargs = [\"--mcp\"]\n");
    // --print installs nothing.
    EXPECT_FALSE(FileSystem::exists(home.file(".codex")));
    EXPECT_EQ(home.brell({"connect", "notepad"}).exitStatus, 2);
}

TEST(ConnectCommandTest, InstallsTheSkillAndRefusesAForeignOne) {
    test::AppHome home;
    auto all = home.brell({"connect"});
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    for (const char* name : {"Claude Code\n", "Codex\n", "Gemini CLI\n", "Claude Desktop\n"}) {
        EXPECT_NE(all.out.find(name), std::string::npos) << name;
    }
    EXPECT_NE(all.out.find(home.file("config/Claude/claude_desktop_config.json")), std::string::npos);
    // Assistants that are not set up get no skill folder.
    EXPECT_FALSE(FileSystem::exists(home.file(".claude")));

    auto named = home.brell({"connect", "claude-code"});
    ASSERT_EQ(named.exitStatus, 0) << named.err;
    EXPECT_TRUE(AssistantGuide::isSkillInstalled(home.file(".claude/skills")));

    std::string foreign = home.file(".codex/skills/brell/SKILL.md");
    FileSystem::makeFolders(FileSystem::parentFolder(foreign));
    FileSystem::writeAtomically(foreign, "my own skill");
    auto refused = home.brell({"connect", "codex"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "brell: A different skill named “brell” already exists at " + foreign +
                               ", so BRELL left it unchanged.\n");
    EXPECT_EQ(FileSystem::read(foreign), "my own skill");
    // No assistant's configuration file is ever written.
    EXPECT_FALSE(FileSystem::exists(home.file(".claude.json")));
    EXPECT_FALSE(FileSystem::exists(home.file(".codex/config.toml")));
}

} // namespace
} // namespace brell
