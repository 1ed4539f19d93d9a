// brell ask --ai (and moments --ai, brief --ai) over a memory the real companion host
// filled, answered by a loopback server standing in for the cloud APIs and by a fake
// claude: what the request carries, which of the model's sentences survive, and what the
// user reads when the provider fails or Ctrl-C stops it.
#include <chrono>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "BrellMemory/recall/AnswerComposer.h"
#include "e2e/RecordedMemory.h"
#include "platform/FileSystem.h"
#include "support/LoopbackHTTPServer.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::string watched = "When sun and moon line up we get spring tides, the biggest of the month.";
const std::string read = "spring tides bring the largest range";
const std::string grounded = "Spring tides, the biggest of the month, come when sun and moon line up.";
// Its figure is the model's own: the article speaks of "sixteen metres", never of 7.
const std::string ungrounded = "Spring tides raise the sea by 7 metres in every harbour.";
const std::string sources = "   Matched \u201cspring\u201d, \u201ctides\u201d in the transcript at 01:06\n";

class AskAICommandsTest : public test::RecordedMemoryTest {
protected:
    test::LoopbackHTTPServer server;

    void SetUp() override {
        RecordedMemoryTest::SetUp();
        FileSystem::writeAtomically(home.file("shell"), "#!/bin/sh\nexit 0\n");
        FileSystem::setPermissions(home.file("shell"), 0700);
        ok({"ai", "use", "anthropic"}, env());
    }

    // Every run: the settings in the home, both cloud APIs on the loopback server, an
    // Anthropic key, and nothing of the machine's own AI setup.
    std::map<std::string, std::string> env(const std::map<std::string, std::string>& extra = {}) const {
        std::map<std::string, std::string> all = {{"BRELL_SETTINGS", home.file("settings.json")},
                                                  {"BRELL_MOCK_AI", ""},
                                                  {"SHELL", home.file("shell")},
                                                  {"ANTHROPIC_BASE_URL", server.baseURL()},
                                                  {"OPENAI_BASE_URL", server.baseURL()},
                                                  {"ANTHROPIC_API_KEY", "sk-ant-test"},
                                                  {"OPENAI_API_KEY", ""}};
        for (const auto& [key, value] : extra) {
            all[key] = value;
        }
        return all;
    }

    test::ProcessResult brell(std::vector<std::string> args, const std::map<std::string, std::string>& extra = {}) {
        return home.brell(std::move(args), "", env(extra));
    }

    // The Messages API's reply carrying `answer` as the model's JSON text.
    static std::string anthropicReply(const Json& answer) {
        return Json{{"content", Json::array({{{"type", "text"}, {"text", answer.dump()}}})}}.dump();
    }

    // The input object framed in a request's user text.
    static Json framedInput(const std::string& text) {
        const std::string open = "<input>\n";
        const std::string close = "\n</input>";
        EXPECT_TRUE(text.starts_with(open) && text.ends_with(close)) << text;
        return Json::parse(text.substr(open.size(), text.size() - open.size() - close.size()));
    }

    // The id the request gave the passage holding `words`.
    static std::string passageID(const Json& input, const std::string& words) {
        for (const auto& passage : input["passages"]) {
            if (passage["text"].get<std::string>().find(words) != std::string::npos) {
                return passage["id"];
            }
        }
        ADD_FAILURE() << "no passage holds " << words << " in " << input.dump(2);
        return "";
    }

    // The reply a model might give: the watched moment, one sentence it supports and one
    // it doesn't.
    static Json cannedAnswer(const Json& input) {
        const std::string video = passageID(input, watched);
        const std::string article = passageID(input, read);
        return {{"moments",
                 Json::array({{{"passageId", video}, {"seconds", 66}, {"why", "Says when spring tides come."}}})},
                {"answer", Json::array({{{"text", grounded}, {"passageId", video}, {"seconds", 66}},
                                        {{"text", ungrounded}, {"passageId", article}, {"seconds", nullptr}}})}};
    }

    // Asks once with an empty answer and gives the input the request carried.
    Json firstRequestInput(const std::string& question) {
        server.reply({200, anthropicReply({{"moments", Json::array()}, {"answer", Json::array()}})});
        auto r = brell({"ask", question, "--ai"});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_NE(r.out.find("\nAnswer (AI \u00B7 Claude \u00B7 claude-opus-5-5)\nThe passages don't support an "
                             "answer.\n"),
                  std::string::npos)
            << r.out;
        Json body = Json::parse(server.requests().back().body);
        return framedInput(body["messages"][0]["content"]);
    }
};

TEST_F(AskAICommandsTest, TheRequestCarriesTheInstructionTheSchemaAndThePassages) {
    Json input = firstRequestInput("spring tides");
    ASSERT_EQ(server.requests().size(), 1u);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/messages");
    EXPECT_EQ(request.header("x-api-key"), "sk-ant-test");
    Json body = Json::parse(request.body);
    EXPECT_EQ(body["model"], "claude-opus-5-5");
    EXPECT_EQ(body["system"], AnswerComposer::system);
    EXPECT_EQ(body["output_config"]["format"]["type"], "json_schema");
    EXPECT_EQ(body["output_config"]["format"]["schema"], AnswerComposer::schema());
    EXPECT_EQ(input["question"], "spring tides");
    EXPECT_FALSE(passageID(input, watched).empty());
    EXPECT_FALSE(passageID(input, read).empty());

    // OpenAI's shape carries the same instruction and schema, under the answer's name.
    ok({"ai", "use", "openai", "--model", "gpt-test"}, env());
    server.reply({200, R"({"output":[{"type":"message","content":[{"type":"output_text","text":)"
                       R"("{\"moments\":[],\"answer\":[]}"}]}]})"});
    auto r = brell({"ask", "spring", "tides", "--ai"}, {{"OPENAI_API_KEY", "sk-o"}});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\nAnswer (AI \u00B7 OpenAI \u00B7 gpt-test)\n"), std::string::npos) << r.out;
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].path, "/responses");
    EXPECT_EQ(server.requests()[1].header("authorization"), "Bearer sk-o");
    body = Json::parse(server.requests()[1].body);
    EXPECT_EQ(body["model"], "gpt-test");
    EXPECT_EQ(body["instructions"], AnswerComposer::system);
    EXPECT_EQ(body["text"]["format"]["name"], "brell_answer");
    EXPECT_EQ(body["text"]["format"]["schema"], AnswerComposer::schema());
    EXPECT_EQ(framedInput(body["input"][0]["content"][0]["text"]), input);
}

TEST_F(AskAICommandsTest, AGroundedSentenceIsKeptWithItsQuoteAndAnUngroundedOneIsCounted) {
    Json input = firstRequestInput("spring tides");
    server.reply({200, anthropicReply(cannedAnswer(input))});

    auto r = brell({"ask", "spring", "tides", "--ai"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The search's own answer first, then the model's, whole.
    auto found = r.out.find(sources);
    auto answer = r.out.find("\nAnswer (AI");
    ASSERT_NE(found, std::string::npos) << r.out;
    ASSERT_NE(answer, std::string::npos) << r.out;
    EXPECT_LT(found, answer);
    EXPECT_EQ(r.out.substr(answer), "\nAnswer (AI \u00B7 Claude \u00B7 claude-opus-5-5)\n"
                                    "1. " +
                                        grounded +
                                        "\n"
                                        "   \u201c" +
                                        watched +
                                        " At right angles they give neap tides, the smallest.\u201d\n"
                                        "   Why are there two tides a day? \u00B7 01:06 \u00B7 Played in background\n"
                                        "   https://www.youtube.com/watch?v=tidesDemo01&t=66s#brell-at=66\n"
                                        "Moments\n"
                                        "1. Why are there two tides a day? (01:06)\n"
                                        "   Says when spring tides come.\n"
                                        "   Played in background\n"
                                        "   https://www.youtube.com/watch?v=tidesDemo01&t=66s#brell-at=66\n"
                                        "1 sentence was left out because the passages didn't support it.\n");

    r = brell({"ask", "spring", "tides", "--ai", "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Json ai = Json::parse(r.out)["ai"];
    EXPECT_EQ(ai["label"], "Claude \u00B7 claude-opus-5-5");
    EXPECT_EQ(ai["mock"], false);
    EXPECT_EQ(ai["dropped"], 1);
    ASSERT_EQ(ai["answer"].size(), 1u) << ai.dump(2);
    EXPECT_EQ(ai["answer"][0]["text"], grounded);
    EXPECT_TRUE(ai["answer"][0]["quote"].get<std::string>().starts_with(watched)) << ai.dump(2);
    EXPECT_EQ(ai["answer"][0]["moment"]["ms"], 66000);
    EXPECT_EQ(ai["answer"][0]["moment"]["openURL"], "https://www.youtube.com/watch?v=tidesDemo01&t=66s#brell-at=66");
    ASSERT_EQ(ai["moments"].size(), 1u);
    EXPECT_EQ(ai["moments"][0]["why"], "Says when spring tides come.");

    // The same request behind moments and the brief.
    r = brell({"moments", "spring", "tides", "--ai"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "Moments (AI \u00B7 Claude \u00B7 claude-opus-5-5)\n"
                     "1. Why are there two tides a day? (01:06)\n"
                     "   Says when spring tides come.\n"
                     "   Played in background\n"
                     "   https://www.youtube.com/watch?v=tidesDemo01&t=66s#brell-at=66\n");

    std::string file = home.file("brief.md");
    r = brell({"brief", "spring", "tides", "--ai", "--out", file});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "1 sentence was left out because the passages didn't support it.\n");
    std::string brief = FileSystem::read(file).value_or("");
    EXPECT_NE(brief.find("\n## Answer (AI \u00B7 Claude \u00B7 claude-opus-5-5)\n"), std::string::npos) << brief;
    EXPECT_NE(brief.find("1. " + grounded), std::string::npos) << brief;
    EXPECT_EQ(brief.find(ungrounded), std::string::npos) << brief;
}

TEST_F(AskAICommandsTest, ClaudeCodeAnswersWithTheSameRequestOnItsStandardInput) {
    FileSystem::makeFolders(home.file(".local/bin"));
    FileSystem::writeAtomically(home.file(".local/bin/claude"),
                                "#!/bin/sh\ncat > \"$HOME/stdin\"\nprintf '%s\\n' \"$@\" > \"$HOME/argv\"\n"
                                "printf '{\"structured_output\":%s}' \"$(cat \"$HOME/answer.json\")\"\n");
    FileSystem::setPermissions(home.file(".local/bin/claude"), 0700);
    FileSystem::writeAtomically(home.file("answer.json"), R"({"moments":[],"answer":[]})");
    ok({"ai", "use", "claudeCode"}, env());

    auto r = brell({"ask", "spring", "tides", "--ai"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\nAnswer (AI \u00B7 Claude Code \u00B7 your subscription)\n"), std::string::npos) << r.out;
    Json input = framedInput(FileSystem::read(home.file("stdin")).value_or(""));
    std::string argv = FileSystem::read(home.file("argv")).value_or("");
    EXPECT_NE(argv.find("--system-prompt\n" + std::string(AnswerComposer::system) + "\n--json-schema\n"),
              std::string::npos)
        << argv;
    EXPECT_EQ(server.requests().size(), 0u) << "the key in the environment is not used";

    FileSystem::writeAtomically(home.file("answer.json"), cannedAnswer(input).dump());
    r = brell({"ask", "spring", "tides", "--ai", "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Json ai = Json::parse(r.out)["ai"];
    EXPECT_EQ(ai["label"], "Claude Code \u00B7 your subscription");
    EXPECT_EQ(ai["dropped"], 1);
    ASSERT_EQ(ai["answer"].size(), 1u);
    EXPECT_EQ(ai["answer"][0]["text"], grounded);
}

TEST_F(AskAICommandsTest, AFailedProviderIsOneSentenceAfterTheSources) {
    std::string closed;
    {
        test::LoopbackHTTPServer gone;
        closed = gone.baseURL();
    }
    struct Case {
        const char* name;
        test::LoopbackHTTPServer::Reply reply;
        std::map<std::string, std::string> env;
        std::string err;
    } cases[] = {
        {"key rejected",
         {401, R"({"error":{"message":"invalid x-api-key"}})"},
         {},
         "brell: Your AI provider rejected the API key. Check it in Settings \u2192 AI.\n"},
        {"rate limited",
         {429, "{}"},
         {},
         "brell: Your AI provider is limiting requests. Wait a minute, then try again.\n"},
        {"provider down",
         {503, "busy", "text/plain"},
         {},
         "brell: Your AI provider isn't responding right now. Try again in a few minutes.\n"},
        {"refused",
         {200, R"({"stop_reason":"refusal","content":[]})"},
         {},
         "brell: The AI declined to answer about this text. Nothing was changed.\n"},
        {"an answer that is not JSON",
         {200, anthropicReply("not an object")},
         {},
         "brell: The AI's answer came back incomplete, so BRELL didn't use it. Try again.\n"},
        {"a reply that is not JSON",
         {200, "<html>", "text/html"},
         {},
         "brell: The AI's answer came back incomplete, so BRELL didn't use it. Try again.\n"},
        {"connection lost",
         {200, anthropicReply({{"moments", Json::array()}, {"answer", Json::array()}}), "application/json", false,
          true},
         {},
         "brell: You're offline, so your AI provider couldn't answer. Try again once you're connected.\n"},
        {"nobody listening",
         {},
         {{"ANTHROPIC_BASE_URL", closed}},
         "brell: Couldn't reach your AI provider. Check your internet connection and try again.\n"},
        {"no key",
         {},
         {{"ANTHROPIC_API_KEY", ""}},
         "brell: Add an API key in Settings \u2192 AI, or choose another provider.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reply(c.reply);
        auto r = brell({"ask", "spring", "tides", "--ai"}, c.env);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_NE(r.out.find(sources), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Answer (AI"), std::string::npos) << r.out;
    }

    // Without a key, off, or with a provider this computer lacks, nobody is asked.
    const std::size_t asked = server.requests().size();
    struct Local {
        const char* provider;
        std::string sentence;
    } locals[] = {
        {"off", "AI answers are turned off. Choose a provider with: brell ai use PROVIDER"},
        {"apple", "Apple Intelligence isn't available right now."},
        {"claudeCode", "Claude Code isn't installed. Install it from https://claude.ai and sign in, or choose another "
                       "provider in Settings \u2192 AI."},
    };
    for (const Local& c : locals) {
        SCOPED_TRACE(c.provider);
        ok({"ai", "use", c.provider}, env());
        auto r = brell({"ask", "spring", "tides", "--ai", "--json"});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "brell: " + c.sentence + "\n");
        Json all = Json::parse(r.out);
        EXPECT_FALSE(all["matches"].empty()) << r.out;
        EXPECT_EQ(all["ai"]["error"], c.sentence);
    }
    EXPECT_EQ(server.requests().size(), asked);
}

TEST_F(AskAICommandsTest, CtrlCStopsTheCallAndKeepsTheSources) {
    server.reply({200, "{}", "application/json", true});
    test::ProcessOptions options;
    options.args = {"ask", "spring", "tides", "--ai"};
    options.setEnv = home.env(env());
    test::Subprocess child(test::binary("brell"), options);
    child.closeInput();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (server.requests().empty() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(server.requests().size(), 1u) << "the request never arrived";
    child.kill(SIGINT);
    auto r = child.wait(std::chrono::seconds(15));
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_EQ(r.err, "brell: Cancelled.\n");
    EXPECT_NE(r.out.find(sources), std::string::npos) << r.out;
    server.release();
}

} // namespace
} // namespace brell
