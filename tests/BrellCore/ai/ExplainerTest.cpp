// Explanations of a passage: the exact requests, every reply shape and status, the
// transport failures and the deadlines, against a loopback server started here.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/OnDeviceSchemaPlan.h"
#include "ScopedEnvironment.h"
#include "support/LoopbackHTTPServer.h"
#include "util/Text.h"

namespace brell {
namespace {

using Server = test::LoopbackHTTPServer;
using Clock = std::chrono::steady_clock;

std::string quoted(const std::string& text) {
    return Json(text).dump();
}

std::string anthropicReply(const std::string& noteJSON) {
    return Json{{"type", "message"},
                {"stop_reason", "end_turn"},
                {"content", Json::array({{{"type", "text"}, {"text", noteJSON}}})}}
        .dump();
}

std::string openAIReply(const std::string& noteJSON) {
    return Json{{"status", "completed"},
                {"output", Json::array({{{"type", "message"},
                                         {"content", Json::array({{{"type", "output_text"}, {"text", noteJSON}}})}}})}}
        .dump();
}

const std::string goodNote = R"({"explanation":"  It says the tool is fast.  ","caveat":"  Check the benchmark. "})";

class ExplainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("ANTHROPIC_BASE_URL", server.baseURL());
        env.set("OPENAI_BASE_URL", server.baseURL() + "/v1/");
    }

    ExplainOutcome explain(const std::string& text, AIProvider provider, const std::string& key = "sk-test",
                           const std::string& model = "m-1", double timeScale = 1.0,
                           const CancelToken& cancel = CancelToken()) {
        return Explainer::explain(text, provider, key, model, HTTPClient::shared(), cancel, timeScale);
    }

    ExplainError explainFails(const std::string& text, AIProvider provider, const std::string& key = "sk-test",
                              double timeScale = 1.0) {
        try {
            explain(text, provider, key, "m-1", timeScale);
        } catch (const ExplainError& e) {
            return e;
        }
        ADD_FAILURE() << "no error";
        return ExplainError::cancelled();
    }

    Server server;
    test::ScopedEnvironment env;
};

TEST_F(ExplainerTest, TheInstructionsAndSchemas) {
    EXPECT_EQ(Text::characterCount(Explainer::instructions), 611u);
    EXPECT_TRUE(Explainer::instructions.starts_with("You explain a short passage"));
    EXPECT_NE(Explainer::instructions.find(R"(In "caveat", name)"), std::string::npos);
    EXPECT_EQ(Explainer::explanationSchema().dump(),
              R"({"type":"object","properties":{"explanation":{"type":"string"},"caveat":{"anyOf":[{"type":"string"},)"
              R"({"type":"null"}]}},"required":["explanation","caveat"],"additionalProperties":false})");
    EXPECT_EQ(Explainer::openAISchema().dump(),
              R"({"type":"object","properties":{"explanation":{"type":"string"},"caveat":{"type":["string","null"]}},)"
              R"("required":["explanation","caveat"],"additionalProperties":false})");
    // The on-device model takes it too.
    auto made = OnDeviceSchemaPlan::make(Json(Explainer::explanationSchema()), "BrellAnswer");
    EXPECT_EQ(made.plan, OnDeviceSchemaPlan::object("BrellAnswer",
                                                    {{"explanation", std::nullopt, OnDeviceSchemaPlan::string(), false},
                                                     {"caveat", std::nullopt, OnDeviceSchemaPlan::string(), true}}));
}

TEST_F(ExplainerTest, TheAnthropicRequestByteForByte) {
    server.reply({200, anthropicReply(goodNote)});
    auto outcome = explain("Fast </PASSAGE> tool", AIProvider::anthropic, "sk-ant", "claude-opus-5-5");
    EXPECT_EQ(outcome,
              (ExplainOutcome{"It says the tool is fast.", "Check the benchmark.", "Claude \u00B7 claude-opus-5-5"}));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/v1/messages");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    EXPECT_EQ(r.header("x-api-key"), "sk-ant");
    EXPECT_EQ(r.header("anthropic-version"), "2026-10-21");
    EXPECT_EQ(r.header("anthropic-beta"), "server-side-fallback-2026-07-01");
    EXPECT_EQ(r.header("Authorization"), "<absent>");
    EXPECT_EQ(r.body, R"({"model":"claude-opus-5-5","max_tokens":4096,"system":)" + quoted(Explainer::instructions) +
                          R"(,"output_config":{"format":{"type":"json_schema","schema":)" +
                          Explainer::explanationSchema().dump() +
                          R"(},"effort":"low"},"messages":[{"role":"user","content":"<passage>\nFast </ PASSAGE> )"
                          R"(tool\n</passage>"}],"fallbacks":"default"})");
}

TEST_F(ExplainerTest, AnthropicWithoutEffortOrFallback) {
    server.reply({200, anthropicReply(goodNote)});
    explain("x", AIProvider::anthropic, "k", "claude-3-legacy");
    auto r = server.requests().at(0);
    EXPECT_EQ(r.header("anthropic-beta"), "<absent>");
    EXPECT_EQ(r.body, R"({"model":"claude-3-legacy","max_tokens":4096,"system":)" + quoted(Explainer::instructions) +
                          R"(,"output_config":{"format":{"type":"json_schema","schema":)" +
                          Explainer::explanationSchema().dump() +
                          R"(}},"messages":[{"role":"user","content":"<passage>\nx\n</passage>"}]})");
}

TEST_F(ExplainerTest, TheOpenAIRequestByteForByte) {
    server.reply({200, openAIReply(goodNote)});
    auto outcome = explain("Passage", AIProvider::openai, "sk-oai", "gpt-4.1-mini-2025-04-14");
    EXPECT_EQ(outcome.providerLabel, "OpenAI \u00B7 gpt-4.1-mini-2025-04-14");
    auto r = server.requests().at(0);
    EXPECT_EQ(r.path, "/v1/responses");
    EXPECT_EQ(r.header("Authorization"), "Bearer sk-oai");
    EXPECT_EQ(r.header("x-api-key"), "<absent>");
    EXPECT_EQ(r.body, R"({"model":"gpt-4.1-mini-2025-04-14","store":false,"max_output_tokens":250,"instructions":)" +
                          quoted(Explainer::instructions) +
                          R"(,"input":[{"role":"user","content":[{"type":"input_text","text":"<passage>\nPassage\n)"
                          R"(</passage>"}]}],"text":{"format":{"type":"json_schema","name":"brell_note","strict":)"
                          R"(true,"schema":)" +
                          Explainer::openAISchema().dump() + "}}}");
}

TEST_F(ExplainerTest, StatusesAndReplyShapes) {
    const std::string rejected = "Your AI provider rejected the API key. Check it in Settings \u2192 AI.";
    const std::string down = "Your AI provider isn't responding right now. Try again in a few minutes.";
    const std::string generic = "Your AI provider couldn't answer. Try again later, or check Settings \u2192 AI.";
    struct Case {
        const char* name;
        AIProvider provider;
        int status;
        std::string body;
        ExplainError error;
    };
    const Case cases[] = {
        {"401", AIProvider::anthropic, 401, R"({"error":{"message":"bad key"}})", ExplainError::unavailable(rejected)},
        {"403", AIProvider::openai, 403, "", ExplainError::unavailable(rejected)},
        {"408", AIProvider::openai, 408, "{}", ExplainError::timeout()},
        {"504 is a timeout", AIProvider::anthropic, 504, "{}", ExplainError::timeout()},
        {"503", AIProvider::anthropic, 503, R"({"error":{"message":"overloaded"}})", ExplainError::unavailable(down)},
        {"429", AIProvider::openai, 429, "{}", ExplainError::rateLimited()},
        {"400 with a message", AIProvider::openai, 400, R"({"error":{"message":"Unknown model."}})",
         ExplainError::unavailable("Your AI provider couldn't answer: Unknown model.")},
        {"400 with a message that is not text", AIProvider::anthropic, 400, R"({"error":{"message":3}})",
         ExplainError::unavailable(generic)},
        {"400 not JSON", AIProvider::anthropic, 400, "<html>oops</html>", ExplainError::unavailable(generic)},
        {"200 not JSON", AIProvider::anthropic, 200, "<html>oops</html>", ExplainError::invalidResponse()},
        {"200 JSON array", AIProvider::openai, 200, "[]", ExplainError::invalidResponse()},
        {"anthropic refusal", AIProvider::anthropic, 200, R"({"stop_reason":"refusal","content":[]})",
         ExplainError::refused()},
        {"anthropic max_tokens", AIProvider::anthropic, 200,
         anthropicReply(goodNote).replace(anthropicReply(goodNote).find("end_turn"), 8, "max_tokens"),
         ExplainError::invalidResponse()},
        {"anthropic no content", AIProvider::anthropic, 200, R"({"content":"text"})", ExplainError::invalidResponse()},
        {"anthropic prose", AIProvider::anthropic, 200, anthropicReply("Sure! Here it is."),
         ExplainError::invalidResponse()},
        {"openai incomplete", AIProvider::openai, 200, R"({"status":"incomplete","output":[]})",
         ExplainError::invalidResponse()},
        {"openai refusal before text", AIProvider::openai, 200,
         R"({"output":[{"type":"message","content":[{"type":"refusal","refusal":"no"},{"type":"output_text","text":)" +
             quoted(goodNote) + "}]}]}",
         ExplainError::refused()},
        {"openai no message", AIProvider::openai, 200, R"({"output":[{"type":"reasoning","content":[]}]})",
         ExplainError::invalidResponse()},
        {"explanation blank", AIProvider::openai, 200, openAIReply(R"({"explanation":"  \n ","caveat":null})"),
         ExplainError::invalidResponse()},
        {"explanation missing", AIProvider::openai, 200, openAIReply(R"({"caveat":"x"})"),
         ExplainError::invalidResponse()},
        {"caveat of 601 characters", AIProvider::anthropic, 200,
         anthropicReply(Json{{"explanation", "ok"}, {"caveat", std::string(601, 'c')}}.dump()),
         ExplainError::invalidResponse()},
        {"explanation of 1501 characters", AIProvider::anthropic, 200,
         anthropicReply(Json{{"explanation", std::string(1501, 'e')}, {"caveat", nullptr}}.dump()),
         ExplainError::invalidResponse()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reply({c.status, c.body});
        ExplainError error = explainFails("A passage", c.provider);
        EXPECT_EQ(error, c.error) << error.message();
    }
}

TEST_F(ExplainerTest, RepliesThatAreRead) {
    struct Case {
        const char* name;
        AIProvider provider;
        std::string body;
        Explainer::Note note;
    };
    const Case cases[] = {
        {"anthropic text split over blocks",
         AIProvider::anthropic,
         R"({"content":[{"type":"text","text":"{\"explanation\":\"Split"},{"type":"thinking","text":"IGNORED"},)"
         R"({"type":"text","text":" here.\",\"caveat\":null}"},{"type":"text","text":7}]})",
         {"Split here.", std::nullopt}},
        {"caveat of spaces",
         AIProvider::anthropic,
         anthropicReply(R"({"explanation":"E","caveat":"   "})"),
         {"E", std::nullopt}},
        {"caveat of another type",
         AIProvider::anthropic,
         anthropicReply(R"({"explanation":"E","caveat":5})"),
         {"E", std::nullopt}},
        {"caveat of exactly 600",
         AIProvider::openai,
         openAIReply(Json{{"explanation", "E"}, {"caveat", std::string(600, 'c')}}.dump()),
         {"E", std::string(600, 'c')}},
        {"openai second output_text never read",
         AIProvider::openai,
         R"({"output":[{"type":"message","content":[{"type":"output_text"},{"type":"output_text","text":)" +
             quoted(R"({"explanation":"First"})") + R"(},{"type":"output_text","text":"garbage"}]}]})",
         {"First", std::nullopt}},
        {"openai skips other items",
         AIProvider::openai,
         R"({"output":[{"type":"reasoning"},{"type":"message","content":[{"text":"x"},{"type":"output_text","text":)" +
             quoted(R"({"explanation":"Found"})") + "}]}]}",
         {"Found", std::nullopt}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reply({200, c.body});
        auto outcome = explain("A passage", c.provider);
        EXPECT_EQ(outcome.explanation, c.note.explanation);
        EXPECT_EQ(outcome.caveat, c.note.caveat);
    }
}

TEST_F(ExplainerTest, PassageLimitsAndKeys) {
    server.reply({200, anthropicReply(goodNote)});
    EXPECT_NO_THROW(explain(std::string(8000, 'a'), AIProvider::anthropic));
    EXPECT_EQ(explainFails(std::string(8001, ' ') + "a", AIProvider::anthropic), ExplainError::badInput());
    EXPECT_EQ(explainFails(std::string(7999, ' ') + "\u00E9\u0301a", AIProvider::anthropic), ExplainError::badInput());
    EXPECT_EQ(explainFails(" \n\t \u2003", AIProvider::anthropic), ExplainError::badInput());
    EXPECT_EQ(explainFails("text", AIProvider::openai, ""), ExplainError::noKey());
    EXPECT_EQ(explainFails("text", AIProvider::off), ExplainError::unavailable("AI explanations are turned off."));
    EXPECT_EQ(explainFails("text", AIProvider::apple),
              ExplainError::unavailable("Apple Intelligence isn't available right now."));
    EXPECT_EQ(server.requests().size(), 1u) << "only the valid passage was sent";

    // A key of spaces is a key: it is sent, and the provider's 401 speaks.
    server.reply({401, "{}"});
    EXPECT_EQ(explainFails("text", AIProvider::anthropic, "   "),
              ExplainError::unavailable("Your AI provider rejected the API key. Check it in Settings \u2192 AI."));
    EXPECT_EQ(server.requests().size(), 2u) << "the request was sent";
}

TEST_F(ExplainerTest, MakeRequestRefusesTheLocalProviders) {
    struct Case {
        AIProvider provider;
        const char* message;
    };
    const Case cases[] = {{AIProvider::off, "AI explanations are turned off."},
                          {AIProvider::claudeCode, "Claude Code runs locally, not over HTTP."},
                          {AIProvider::apple, "Apple Intelligence runs on this Mac, not over HTTP."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            Explainer::makeRequest("t", c.provider, "k", "m");
            ADD_FAILURE();
        } catch (const ExplainError& e) {
            EXPECT_EQ(e, ExplainError::unavailable(c.message));
        }
    }
    EXPECT_EQ(Explainer::makeRequest("t", AIProvider::openai, "k", "m").timeoutSeconds, 60);
    EXPECT_EQ(Explainer::makeRequest("t", AIProvider::anthropic, "k", "m").timeoutSeconds, 60);
}

TEST_F(ExplainerTest, TransportFailuresAreToldApart) {
    const std::string offline = "You're offline. Your quote is saved; write a note or retry later.";
    // A reply that breaks off midway is a lost connection.
    server.reply({200, R"({"content":[)", "application/json", false, true});
    EXPECT_EQ(explainFails("t", AIProvider::anthropic), ExplainError::unavailable(offline));

    // A name that never resolves reads as no network.
    env.set("ANTHROPIC_BASE_URL", "http://brell-test.invalid");
    EXPECT_EQ(explainFails("t", AIProvider::anthropic), ExplainError::unavailable(offline));

    // Nothing listening: the provider can't be reached.
    std::string closed;
    {
        Server gone;
        closed = gone.baseURL();
    }
    env.set("ANTHROPIC_BASE_URL", closed);
    EXPECT_EQ(explainFails("t", AIProvider::anthropic),
              ExplainError::unavailable("Couldn't reach your AI provider. Check your internet connection and try "
                                        "again."));

    // The request's own time limit.
    server.reply({200, "{}", "application/json", true});
    HTTPRequest request = Explainer::anthropicRequest("t", "k", "m");
    request.url = server.baseURL() + "/v1/messages";
    request.timeoutSeconds = 0.2;
    try {
        Explainer::send(request, HTTPClient::shared(), CancelToken());
        FAIL() << "no timeout";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::timeout());
    }
}

TEST_F(ExplainerTest, ACallerCancelsAStalledRequest) {
    server.reply({200, anthropicReply(goodNote), "application/json", true});
    CancelToken cancel;
    std::thread canceller([cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel.cancel();
    });
    try {
        explain("t", AIProvider::anthropic, "k", "m", 1.0, cancel);
        ADD_FAILURE() << "not cancelled";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::cancelled());
    }
    canceller.join();
}

TEST_F(ExplainerTest, TheProviderDeadlineEndsAStalledCall) {
    // Scaled down a hundredfold: Anthropic's 20 s become 0.2 s and the request's own 60 s
    // become 0.6 s, which the deadline beats.
    server.reply({200, anthropicReply(goodNote), "application/json", true});
    auto start = Clock::now();
    EXPECT_EQ(explainFails("t", AIProvider::anthropic, "k", 0.01), ExplainError::timeout());
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
}

TEST_F(ExplainerTest, OpenAIsRealEightSecondDeadline) {
    server.reply({200, openAIReply(goodNote), "application/json", true});
    auto start = Clock::now();
    EXPECT_EQ(explainFails("t", AIProvider::openai), ExplainError::timeout());
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::seconds(8));
    EXPECT_LT(took, std::chrono::seconds(60)) << "the deadline, not the request's timeout, ended it";
}

TEST(ExplainerPartsTest, WrapFramesThePassage) {
    struct Case {
        const char* text;
        const char* wrapped;
    };
    const Case cases[] = {
        {"plain", "<passage>\nplain\n</passage>"},
        {"  untrimmed \n", "<passage>\n  untrimmed \n\n</passage>"},
        {"a</passage>b</PaSsAgE>c", "<passage>\na</ passage>b</ PaSsAgE>c\n</passage>"},
        {"</passage", "<passage>\n</passage\n</passage>"},
        {"<passage>open", "<passage>\n<passage>open\n</passage>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Explainer::wrap(c.text), c.wrapped);
    }
}

TEST(ExplainerPartsTest, DecodeNoteAndValidate) {
    EXPECT_EQ(Explainer::decodeNote(R"({"explanation":"E","caveat":"C","extra":1})"), (Explainer::Note{"E", "C"}));
    EXPECT_EQ(Explainer::decodeNote(R"({"explanation":"E","caveat":null})"), (Explainer::Note{"E", std::nullopt}));
    for (const char* bad :
         {"", "null", "[]", R"({"explanation":5})", R"({"caveat":"C"})", "{\"explanation\":\"\xff\"}"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Explainer::decodeNote(bad), ExplainError);
    }
    EXPECT_EQ(Explainer::validate(" E \n", std::string(" \n ")), (Explainer::Note{"E", std::nullopt}));
    EXPECT_EQ(Explainer::validate(std::string(1500, 'e'), "  c  "), (Explainer::Note{std::string(1500, 'e'), "c"}));
    EXPECT_EQ(Explainer::validate(" " + std::string(600, 'c') + " ", " " + std::string(600, 'c') + " ").caveat,
              std::string(600, 'c'));
    EXPECT_THROW(Explainer::validate("", std::nullopt), ExplainError);
}

TEST(ExplainerPartsTest, MockCountsWordsAndSendsNothing) {
    auto outcome = Explainer::mock("  One two\tthree\n four\u2003five  ", CancelToken());
    EXPECT_EQ(outcome, (ExplainOutcome{"MOCK EXPLANATION (test mode, not a real model): this 5-word passage would "
                                       "be explained here in plain language.",
                                       "Mock output. Turn off BRELL_MOCK_AI before recording a demo.",
                                       "Mock \u00B7 test mode"}));
    CancelToken cancelled;
    cancelled.cancel();
    EXPECT_THROW(Explainer::mock("x", cancelled), ExplainError);
}

} // namespace
} // namespace brell
