// ProviderInsightModel as the insight engine's model: the proposer's and the verifier's
// requests to each provider, compared as text, and a draft carried from a provider's
// reply through validation, verification and scoring.
#include <gtest/gtest.h>

#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/OnDeviceSchemaPlan.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "BrellMemory/insights/CandidateValidation.h"
#include "BrellMemory/insights/InsightPrompts.h"
#include "BrellMemory/insights/Scoring.h"
#include "ScopedEnvironment.h"
#include "platform/FileSystem.h"
#include "support/LoopbackHTTPServer.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

// The texts as they appear inside a JSON string of a request body.
const std::string proposerUserText =
    R"(<input>\n{\"evidence\":[{\"chunkId\":\"c345\",\"excerpt\":\"Sour shots mean a coarse grinder\",)"
    R"(\"exposure\":\"unknown\",\"source\":\"Grinder video\",\"type\":\"transcript\",\"where\":\"12:04\"},)"
    R"({\"chunkId\":\"c40\",\"excerpt\":\"Grind finer for light roasts\",\"exposure\":\"Outside observed )"
    R"(playback\",\"source\":\"Roasting guide\",\"type\":\"article\",\"where\":\"Light roasts\"}],)"
    R"(\"task\":{\"keywords\":\"grinder\",\"objective\":\"Dial in the grinder\",\"project\":\"Espresso\",)"
    R"(\"projectId\":\"p7\",\"taskId\":\"t12\",\"title\":\"Fix sour shots\"}}\n</input>)";
const std::string verifierUserText =
    R"(<input>\n{\"candidate\":{\"expectedOutcome\":\"\",\"nextStep\":\"Pull one shot finer\",)"
    R"(\"title\":\"Grind finer\",\"uncertainty\":\"\"},\"claims\":[{\"claim\":\"Sour means coarse\",)"
    R"(\"excerpt\":\"Sour shots mean a coarse grinder\",\"index\":0}],\"task\":{\"objective\":)"
    R"(\"Dial in the grinder\",\"title\":\"Fix sour shots\"}}\n</input>)";

std::string golden(const std::string& name) {
    std::string text = test::fixture("insights/" + name);
    return name.ends_with(".json") ? OrderedJson::parse(text).dump() : text.substr(0, text.size() - 1);
}

class ProviderInsightModelInsightsTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("ANTHROPIC_BASE_URL", server.baseURL());
        env.set("OPENAI_BASE_URL", server.baseURL() + "/v1");
        draft.title = "Grind finer";
        draft.nextStep = "Pull one shot finer";
        draft.evidence = {{345, "symptom", "Sour means coarse", std::nullopt}};
    }

    Json proposerInput() const { return InsightPrompts::candidateInput(task, pack); }
    Json verifierInput() const { return InsightPrompts::verifierInput(task, draft, pack); }

    test::LoopbackHTTPServer server;
    test::ScopedEnvironment env;
    TaskContext task{7, 12, 1, "Espresso", "Fix sour shots", "Dial in the grinder", "grinder"};
    std::vector<Excerpt> pack = {{345, 1, "s1", "transcript", "Grinder video", "12:04", std::nullopt,
                                  "Sour shots mean a coarse grinder", "capture"},
                                 {40, 2, "s2", "article", "Roasting guide", "Light roasts",
                                  ExposureLabel::outsideObservedPlayback, "Grind finer for light roasts", "capture"}};
    CandidateDraft draft;
};

TEST_F(ProviderInsightModelInsightsTest, AnthropicRequestsCarryThePromptsAndSchemas) {
    server.reply({200, R"({"content":[{"type":"text","text":"{\"candidate\":null}"}]})"});
    ProviderInsightModel provider(AIProvider::anthropic, "sk-test", "claude-sonnet-5-5");
    const InsightModel& model = provider;
    EXPECT_EQ(model.propose(proposerInput(), CancelToken()), Json::parse(R"({"candidate":null})"));
    server.reply({200, R"({"content":[{"type":"text","text":"{\"claims\":[]}"}]})"});
    EXPECT_EQ(model.verify(verifierInput(), CancelToken()), Json::parse(R"({"claims":[]})"));

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    struct Case {
        const char* name;
        std::string prompt, schema, userText;
    } cases[] = {
        {"propose", golden("candidate-prompt.txt"), golden("candidate-schema.json"), proposerUserText},
        {"verify", golden("verifier-prompt.txt"), golden("verifier-schema.json"), verifierUserText},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(requests[i].method, "POST");
        EXPECT_EQ(requests[i].path, "/v1/messages");
        EXPECT_EQ(requests[i].header("x-api-key"), "sk-test");
        EXPECT_EQ(requests[i].header("anthropic-version"), "2026-10-21");
        EXPECT_EQ(requests[i].body, R"({"model":"claude-sonnet-5-5","max_tokens":4096,"system":")" + c.prompt +
                                        R"(","output_config":{"format":{"type":"json_schema","schema":)" + c.schema +
                                        R"(},"effort":"low"},"messages":[{"role":"user","content":")" + c.userText +
                                        R"("}],"fallbacks":"default"})");
    }
}

TEST_F(ProviderInsightModelInsightsTest, OpenAIRequestsNameTheirSchemaAndKeepRepliesShort) {
    server.reply({200, R"({"output":[{"type":"message","content":[{"type":"output_text","text":"{}"}]}]})"});
    ProviderInsightModel model(AIProvider::openai, "sk-o", "gpt-test");
    EXPECT_EQ(model.propose(proposerInput(), CancelToken()), Json::object());
    EXPECT_EQ(model.verify(verifierInput(), CancelToken()), Json::object());

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    struct Case {
        const char* name;
        std::string prompt, schema, userText, schemaName;
    } cases[] = {
        {"propose", golden("candidate-prompt.txt"), golden("candidate-schema.json"), proposerUserText,
         "brell_candidate"},
        {"verify", golden("verifier-prompt.txt"), golden("verifier-schema.json"), verifierUserText, "brell_verdict"},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(requests[i].path, "/v1/responses");
        EXPECT_EQ(requests[i].header("Authorization"), "Bearer sk-o");
        EXPECT_EQ(requests[i].body, R"({"model":"gpt-test","store":false,"max_output_tokens":900,"instructions":")" +
                                        c.prompt +
                                        R"(","input":[{"role":"user","content":[{"type":"input_text","text":")" +
                                        c.userText + R"("}]}],"text":{"format":{"type":"json_schema","name":")" +
                                        c.schemaName + R"(","strict":true,"schema":)" + c.schema + "}}}");
    }
}

TEST_F(ProviderInsightModelInsightsTest, FailuresPassOnAsTheProvidersErrors) {
    auto failure = [&](const ProviderInsightModel& model) -> std::optional<ExplainError> {
        try {
            model.propose(proposerInput(), CancelToken());
        } catch (const ExplainError& e) {
            return e;
        }
        return std::nullopt;
    };
    EXPECT_EQ(failure(ProviderInsightModel(AIProvider::off, "", "")), ExplainError::unavailable("Provider off"));
    server.reply({429, "{}"});
    EXPECT_EQ(failure(ProviderInsightModel(AIProvider::anthropic, "k", "claude-x")),
              ExplainError::unavailable("HTTP 429"));
    server.reply({200, R"({"stop_reason":"refusal"})"});
    EXPECT_EQ(failure(ProviderInsightModel(AIProvider::anthropic, "k", "claude-x")), ExplainError::refused());
}

// A reply read, checked, verified and scored as the engine does it.
TEST_F(ProviderInsightModelInsightsTest, AProvidersCandidateBecomesAScoredDraft) {
    ProviderInsightModel model(AIProvider::openai, "sk", "gpt-test");
    Json candidate = {{"relationship", "diagnosis"},
                      {"projectId", "p7"},
                      {"taskId", "t12"},
                      {"title", "Grind two steps finer"},
                      {"whyNow", "Sour shots point to a coarse grinder"},
                      {"nextStep", "Pull one shot two steps finer and taste it"},
                      {"expectedOutcome", "A sweeter shot"},
                      {"uncertainty", nullptr},
                      {"evidence",
                       {{{"chunkId", "c345"}, {"role", "symptom"}, {"claim", "Sour means coarse"}},
                        {{"chunkId", "c40"}, {"role", "recommended_test"}, {"claim", "Finer helps light roasts"}}}},
                      {"dedupeKey", "finer"}};
    auto openAIReply = [](const Json& answer) {
        return Json{
            {"output", {{{"type", "message"}, {"content", {{{"type", "output_text"}, {"text", answer.dump()}}}}}}}}
            .dump();
    };
    server.reply({200, openAIReply({{"candidate", candidate}})});
    auto proposed = model.propose(InsightPrompts::candidateInput(task, pack), CancelToken());
    ASSERT_TRUE(proposed);
    CandidateDraft parsed = CandidateValidation::parse((*proposed)["candidate"], task, pack, true);

    server.reply({200, openAIReply(Json::parse(R"({"claims":[{"index":0,"verdict":"supported"},
        {"index":1,"verdict":"supported"}],"differences":null,"actionFollows":true})"))});
    Json verdict = model.verify(InsightPrompts::verifierInput(task, parsed, pack), CancelToken());
    CandidateDraft verified = CandidateValidation::applyVerdict(parsed, verdict);
    EXPECT_EQ(verified.evidence[1].verdict, "supported");
    EXPECT_EQ(verified.actionFollows, true);

    ScoreBreakdown breakdown = Scoring::score(verified, task, pack, {}, true, MemoryConfig{});
    EXPECT_EQ(breakdown.total, 1);
    EXPECT_EQ(Scoring::eligible(breakdown, MemoryConfig{}), (Scoring::Eligibility{true, std::nullopt}));
}

class ProviderInsightModelClaudeTest : public ProviderInsightModelInsightsTest {
protected:
    void SetUp() override {
        ProviderInsightModelInsightsTest::SetUp();
        FileSystem::makeFolders(home + "/.local/bin");
        FileSystem::makeFolders(scratch);
        env.set("HOME", home);
        env.set("TMPDIR", scratch);
        env.set("PATH", "/usr/bin:/bin");
        env.set("SHELL", "/bin/false");
        ClaudeCodeCLI::resetLocation();
    }
    void TearDown() override { ClaudeCodeCLI::resetLocation(); }

    // A claude that records its arguments, one per line, and its input, then answers.
    void fakeClaude(const std::string& answer) {
        std::string claude = home + "/.local/bin/claude";
        FileSystem::writeAtomically(claude, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$HOME/argv\"\ncat > \"$HOME/stdin\"\n"
                                            "echo '{\"type\":\"result\",\"is_error\":false,\"structured_output\":" +
                                                answer + "}'\n");
        FileSystem::setPermissions(claude, 0700);
    }
    std::string recorded(const std::string& name) { return FileSystem::read(home + "/" + name).value_or(""); }

    test::TempFolder tmp;
    std::string home = tmp.file("home");
    std::string scratch = tmp.file("scratch");
};

TEST_F(ProviderInsightModelClaudeTest, TheCommandLineRunnerGetsThePromptSchemaAndFramedInput) {
    struct Case {
        const char* name;
        bool propose;
        std::string prompt, schema, input;
    } cases[] = {
        {"propose", true, golden("candidate-prompt.txt"), golden("candidate-schema.json"),
         "<input>\n" + proposerInput().dump() + "\n</input>"},
        {"verify", false, golden("verifier-prompt.txt"), golden("verifier-schema.json"),
         "<input>\n" + verifierInput().dump() + "\n</input>"},
    };
    ProviderInsightModel model(AIProvider::claudeCode, "never-sent", "claude-sonnet-5");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeClaude(R"({"candidate":null})");
        Json reply =
            c.propose ? *model.propose(proposerInput(), CancelToken()) : model.verify(verifierInput(), CancelToken());
        EXPECT_EQ(reply, Json::parse(R"({"candidate":null})"));
        EXPECT_EQ(recorded("argv"), "-p\n--output-format\njson\n--tools\n\n--strict-mcp-config\n"
                                    "--disable-slash-commands\n--no-session-persistence\n--system-prompt\n" +
                                        c.prompt + "\n--json-schema\n" + c.schema +
                                        "\n--model\nclaude-sonnet-5\n--effort\nlow\n");
        EXPECT_EQ(recorded("stdin"), c.input);
    }
}

TEST(ProviderInsightSchemasTest, BothSchemasTranslateForTheOnDeviceModel) {
    using Plan = OnDeviceSchemaPlan;
    using Field = OnDeviceSchemaPlan::Field;
    Plan::Made verdict = Plan::make(Json(InsightPrompts::verifierSchema()), "BrellVerdict");
    Plan claim = Plan::object("BrellVerdictClaimsItem",
                              {Field{"index", std::nullopt, Plan::integer(), false},
                               Field{"verdict", std::nullopt,
                                     Plan::choice("BrellVerdictClaimsItemVerdict",
                                                  {"supported", "inference_only", "contradicted", "unsupported"}),
                                     false}});
    EXPECT_EQ(verdict, (Plan::Made{Plan::object("BrellVerdict",
                                                {Field{"claims", std::nullopt, Plan::array(claim, std::nullopt), false},
                                                 Field{"differences", std::nullopt, Plan::string(), true},
                                                 Field{"actionFollows", std::nullopt, Plan::boolean(), false}}),
                                   false}));

    Plan::Made proposal = Plan::make(Json(InsightPrompts::candidateSchema()), "BrellCandidate");
    ASSERT_EQ(proposal.plan.fields.size(), 1u);
    const Field& candidate = proposal.plan.fields[0];
    EXPECT_EQ(candidate.name, "candidate");
    EXPECT_TRUE(candidate.optional); // the model may answer null
    std::vector<std::string> names;
    for (const Field& field : candidate.plan.fields) {
        names.push_back(field.name + (field.optional ? "?" : ""));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"relationship", "projectId", "taskId", "title", "whyNow", "nextStep",
                                               "expectedOutcome", "uncertainty?", "evidence", "dedupeKey"}));
    EXPECT_EQ(candidate.plan.fields[0].plan.kind, Plan::Kind::choice);
    EXPECT_EQ(candidate.plan.fields[0].plan.values.size(), 6u);
    EXPECT_EQ(candidate.plan.fields[8].plan,
              Plan::array(Plan::object("BrellCandidateCandidateEvidenceItem",
                                       {Field{"chunkId", std::nullopt, Plan::string(), false},
                                        Field{"role", std::nullopt, Plan::string(), false},
                                        Field{"claim", std::nullopt, Plan::string(), false}}),
                          std::nullopt));
}

} // namespace
} // namespace brell
