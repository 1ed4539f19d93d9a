// brell ai status, ai use and explain, run as a user would: in test mode, against a
// loopback server standing in for the cloud APIs, and through a fake claude.
#include <regex>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/LoopbackHTTPServer.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::string mockExplanation = "MOCK EXPLANATION (test mode, not a real model): this ";

class AICommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::writeAtomically(tmp.file("shell"), "#!/bin/sh\nexit 0\n");
        FileSystem::setPermissions(tmp.file("shell"), 0700);
    }

    test::ProcessResult brell(std::vector<std::string> args, std::map<std::string, std::string> extra = {},
                              std::string input = "") {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.setEnv = {{"HOME", tmp.path()},
                          {"XDG_DATA_HOME", tmp.file("data")},
                          {"BRELL_BOARD", tmp.file("board.json")},
                          {"BRELL_MEMORY_DB", tmp.file("Memory.sqlite")},
                          {"SHELL", tmp.file("shell")},
                          {"TMPDIR", tmp.path()},
                          {"PATH", "/usr/bin:/bin"}};
        for (auto& [k, v] : extra) {
            options.setEnv[k] = v;
        }
        options.unsetEnv = {"BRELL_SETTINGS",     "BRELL_MOCK_AI",   "ANTHROPIC_API_KEY", "OPENAI_API_KEY",
                            "ANTHROPIC_BASE_URL", "OPENAI_BASE_URL", "BRELL_NO_ON_DEVICE"};
        for (auto& [k, v] : extra) {
            std::erase(options.unsetEnv, k);
        }
        options.input = std::move(input);
        return test::run(test::binary("brell"), options);
    }

    std::string ok(std::vector<std::string> args, std::map<std::string, std::string> extra = {},
                   std::string input = "") {
        auto r = brell(std::move(args), std::move(extra), std::move(input));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    std::string settingsPath() const { return tmp.file("data/BRELL/settings.json"); }

    test::TempFolder tmp;
};

TEST_F(AICommandsTest, StatusTellsANewUserWhatToSetUp) {
    std::string out = ok({"ai", "status"});
    EXPECT_EQ(out, "AI provider: Off \u2014 manual notes only\n"
                   "  off  Off \u2014 manual notes only: ready\n"
                   "  claudeCode  Claude Code (your subscription): not ready. Claude Code isn't installed: no claude "
                   "program was found. Install it from https://claude.ai and sign in once in a terminal.\n"
                   "  apple  Apple Intelligence (on this Mac): not ready. Apple Intelligence isn't available right "
                   "now.\n"
                   "  anthropic  Claude API (key): not ready. No API key: set ANTHROPIC_API_KEY in the environment.\n"
                   "  openai  OpenAI: not ready. No API key: set OPENAI_API_KEY in the environment.\n"
                   "Choose one with: brell ai use PROVIDER [--model MODEL]\n");
    Json json = Json::parse(ok({"ai", "status", "--json"}, {{"OPENAI_API_KEY", "sk-o"}}));
    EXPECT_EQ(json["choice"], "off");
    EXPECT_TRUE(json["model"].is_null());
    EXPECT_EQ(json["providers"][4], Json::parse(R"({"provider":"openai","displayName":"OpenAI",
        "defaultModel":"gpt-4.1-mini-2025-04-14","usable":true,"reason":null})"));
    EXPECT_FALSE(FileSystem::exists(settingsPath())) << "looking changes nothing";
}

TEST_F(AICommandsTest, UseSavesTheChoiceAndNeverAKey) {
    EXPECT_EQ(ok({"ai", "use", "anthropic", "--model", "claude-sonnet-5"}, {{"ANTHROPIC_API_KEY", "sk-secret"}}),
              "AI provider: Claude API (key), model claude-sonnet-5.\n");
    std::string saved = FileSystem::read(settingsPath()).value();
    EXPECT_EQ(Json::parse(saved), Json::parse(R"({"aiProvider":"anthropic","aiModel":"claude-sonnet-5"})"));
    EXPECT_EQ(saved.find("sk-secret"), std::string::npos);
    EXPECT_EQ(FileSystem::permissions(settingsPath()), 0600u);

    EXPECT_EQ(ok({"ai", "use", "openai"}), "AI provider: OpenAI, model gpt-4.1-mini-2025-04-14.\n"
                                           "Not ready yet: No API key: set OPENAI_API_KEY in the environment.\n");
    EXPECT_EQ(Json::parse(FileSystem::read(settingsPath()).value()), Json::parse(R"({"aiProvider":"openai"})"));

    for (const char* bad : {"OpenAI", "none"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(brell({"ai", "use", bad}).exitStatus, 2);
    }
}

TEST_F(AICommandsTest, TestModeExplainsFromEverySource) {
    std::map<std::string, std::string> mock = {{"BRELL_MOCK_AI", "1"}};
    ok({"ai", "use", "anthropic"});
    EXPECT_EQ(ok({"explain", "--text", "three little words"}, mock),
              mockExplanation + "3-word passage would be explained here in plain language.\n"
                                "Caveat: Mock output. Turn off BRELL_MOCK_AI before recording a demo.\n"
                                "\u2014 Mock \u00B7 test mode\n");
    EXPECT_EQ(ok({"explain", "--json", "-"}, mock, "from standard input"),
              R"({"explanation":")" + mockExplanation +
                  R"(3-word passage would be explained here in plain language.","caveat":"Mock output. Turn off )"
                  R"(BRELL_MOCK_AI before recording a demo.","providerLabel":"Mock · test mode"})"
                  "\n");
    FileSystem::writeAtomically(tmp.file("passage.txt"), "one two");
    EXPECT_NE(ok({"explain", "--file", tmp.file("passage.txt")}, mock).find("2-word passage"), std::string::npos);

    std::string saved = ok({"board", "add-quote", "--text", "a quoted passage of five", "--url", "https://e.org/"});
    std::smatch id;
    ASSERT_TRUE(std::regex_search(saved, id, std::regex("[0-9A-F-]{36}"))) << saved;
    EXPECT_NE(ok({"explain", "--card", id.str().substr(0, 8)}, mock).find("5-word passage"), std::string::npos);

    auto blank = brell({"explain", "--text", "  \n "}, mock);
    EXPECT_EQ(blank.exitStatus, 1);
    EXPECT_EQ(blank.err, "brell: This item has no text to explain.\n");
}

TEST_F(AICommandsTest, FailuresAreOneSentence) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string err;
    };
    const Case cases[] = {
        {"off until chosen", {"explain", "--text", "t"}, {}, "brell: AI explanations are turned off.\n"},
        {"off in test mode too",
         {"explain", "--json", "--text", "t"},
         {{"BRELL_MOCK_AI", "1"}},
         "brell: AI explanations are turned off.\n"},
        {"no key",
         {"explain", "--provider", "openai", "--text", "t"},
         {},
         "brell: Add an API key in Settings \u2192 AI, or choose another provider.\n"},
        {"no on-device model",
         {"explain", "--provider", "apple", "--text", "t"},
         {},
         "brell: Apple Intelligence isn't available right now.\n"},
        {"claude not installed",
         {"explain", "--provider", "claudeCode", "--text", "t"},
         {},
         "brell: Claude Code isn't installed. Install it from https://claude.ai and sign in, or choose another "
         "provider in Settings \u2192 AI.\n"},
        {"unknown card", {"explain", "--card", "ABCDEF12"}, {}, "brell: No card has the id ABCDEF12.\n"},
        {"short card id",
         {"explain", "--card", "ABC"},
         {},
         "brell: Give at least the first 8 characters of the card's id, as brell board list shows it.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args, c.env);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    for (auto args : std::vector<std::vector<std::string>>{{"explain"},
                                                           {"explain", "--text", "a", "--file", "b"},
                                                           {"explain", "x"},
                                                           {"explain", "--provider", "Off", "--text", "t"}}) {
        EXPECT_EQ(brell(args).exitStatus, 2);
    }
}

TEST_F(AICommandsTest, ExplainsThroughTheCloudShapes) {
    test::LoopbackHTTPServer server;
    std::map<std::string, std::string> env = {{"ANTHROPIC_BASE_URL", server.baseURL()},
                                              {"ANTHROPIC_API_KEY", "sk-ant"}};
    server.reply({200, R"({"content":[{"type":"text","text":"{\"explanation\":\"It claims X.\",\"caveat\":null}"}]})"});
    EXPECT_EQ(ok({"explain", "--provider", "anthropic", "--text", "X is true"}, env),
              "It claims X.\n\u2014 Claude \u00B7 claude-opus-5-5\n");
    EXPECT_EQ(server.requests().at(0).header("x-api-key"), "sk-ant");

    server.reply({429, "{}"});
    auto r = brell({"explain", "--provider", "anthropic", "--json", "--text", "X"}, env);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "brell: Your AI provider is limiting requests. Wait a minute, then try again.\n");
}

TEST_F(AICommandsTest, ExplainsThroughClaudeCode) {
    FileSystem::makeFolders(tmp.file(".local/bin"));
    FileSystem::writeAtomically(tmp.file(".local/bin/claude"),
                                "#!/bin/sh\ncat > \"$HOME/stdin\"\nprintf '%s\\n' \"$@\" > \"$HOME/argv\"\n"
                                "echo '{\"structured_output\":{\"explanation\":\"Local answer.\",\"caveat\":\"Check "
                                "it.\"}}'\n");
    FileSystem::setPermissions(tmp.file(".local/bin/claude"), 0700);
    ok({"ai", "use", "claudeCode"});
    EXPECT_EQ(ok({"explain", "--text", "A passage"}, {{"ANTHROPIC_API_KEY", "sk-never"}}),
              "Local answer.\nCaveat: Check it.\n\u2014 Claude Code \u00B7 your subscription\n");
    EXPECT_EQ(FileSystem::read(tmp.file("stdin")), "<passage>\nA passage\n</passage>");
    std::string argv = FileSystem::read(tmp.file("argv")).value();
    EXPECT_TRUE(argv.ends_with("--effort\nlow\n")) << argv;
    EXPECT_EQ(argv.find("--model"), std::string::npos);
}

} // namespace
} // namespace brell
