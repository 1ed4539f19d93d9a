// The one structured call: framing with sorted keys, the two bodies, reading replies,
// against a loopback server.
#include <gtest/gtest.h>

#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "ScopedEnvironment.h"
#include "support/LoopbackHTTPServer.h"

namespace brell {
namespace {

class ProviderInsightModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("ANTHROPIC_BASE_URL", server.baseURL());
        env.set("OPENAI_BASE_URL", server.baseURL() + "/v1");
    }
    Json call(AIProvider provider, const std::string& model = "m") {
        return ProviderInsightModel(provider, "sk", model)
            .structured("System", input, schema, "brell_candidate", HTTPClient::shared(), CancelToken());
    }
    ExplainError fails(AIProvider provider) {
        try {
            call(provider);
        } catch (const ExplainError& e) {
            return e;
        }
        ADD_FAILURE() << "no error";
        return ExplainError::cancelled();
    }

    test::LoopbackHTTPServer server;
    test::ScopedEnvironment env;
    Json input = Json::parse(R"({"zeta":1,"alpha":{"b":2,"a":"x"}})");
    OrderedJson schema = OrderedJson::parse(R"({"type":"object","properties":{"z":{"type":"string"}}})");
};

TEST_F(ProviderInsightModelTest, DerivedProperties) {
    EXPECT_EQ(ProviderInsightModel(AIProvider::claudeCode, "", "").label(), "Claude Code \u00B7 your subscription");
    EXPECT_EQ(ProviderInsightModel(AIProvider::claudeCode, "", "").timeout(), 90);
    EXPECT_EQ(ProviderInsightModel(AIProvider::apple, "", "").timeout(), 40);
    EXPECT_EQ(ProviderInsightModel(AIProvider::openai, "", "").timeout(), 12);
    EXPECT_EQ(ProviderInsightModel(AIProvider::apple, "", "").inputBudget(), 2500);
    EXPECT_EQ(ProviderInsightModel(AIProvider::anthropic, "", "").inputBudget(), 120000);
}

TEST_F(ProviderInsightModelTest, TheAnthropicBody) {
    server.reply({200, R"({"content":[{"type":"text","text":"{\"z\":"},{"type":"tool_use","text":"x"},)"
                       R"({"type":"text"},{"type":"text","text":"\"ok\"}"}]})"});
    EXPECT_EQ(call(AIProvider::anthropic, "claude-sonnet-5-5"), Json::parse(R"({"z":"ok"})"));
    auto r = server.requests().at(0);
    EXPECT_EQ(r.path, "/v1/messages");
    EXPECT_EQ(r.header("x-api-key"), "sk");
    EXPECT_EQ(r.header("anthropic-beta"), "server-side-fallback-2026-07-01");
    EXPECT_EQ(r.body, R"({"model":"claude-sonnet-5-5","max_tokens":4096,"system":"System","output_config":)"
                      R"({"format":{"type":"json_schema","schema":{"type":"object","properties":{"z":{"type":)"
                      R"("string"}}}},"effort":"low"},"messages":[{"role":"user","content":"<input>\n{\"alpha\":)"
                      R"({\"a\":\"x\",\"b\":2},\"zeta\":1}\n</input>"}],"fallbacks":"default"})");
}

TEST_F(ProviderInsightModelTest, TheOpenAIBody) {
    server.reply({200, R"({"output":[{"type":"message","content":[{"type":"output_text","text":"{\"z\":"},)"
                       R"({"type":"refusal"},{"type":"output_text","text":"\"two parts\"}"}]}]})"});
    EXPECT_EQ(call(AIProvider::openai), Json::parse(R"({"z":"two parts"})"));
    auto r = server.requests().at(0);
    EXPECT_EQ(r.path, "/v1/responses");
    EXPECT_EQ(r.header("Authorization"), "Bearer sk");
    EXPECT_EQ(r.body, R"({"model":"m","store":false,"max_output_tokens":900,"instructions":"System","input":)"
                      R"([{"role":"user","content":[{"type":"input_text","text":"<input>\n{\"alpha\":{\"a\":\"x\",)"
                      R"(\"b\":2},\"zeta\":1}\n</input>"}]}],"text":{"format":{"type":"json_schema","name":)"
                      R"("brell_candidate","strict":true,"schema":{"type":"object","properties":{"z":{"type":)"
                      R"("string"}}}}}})");
}

TEST_F(ProviderInsightModelTest, Failures) {
    struct Case {
        const char* name;
        AIProvider provider;
        int status;
        const char* body;
        ExplainError error;
    };
    const Case cases[] = {
        {"429 is only a status here", AIProvider::anthropic, 429, "{}", ExplainError::unavailable("HTTP 429")},
        {"500", AIProvider::openai, 500, "{}", ExplainError::unavailable("HTTP 500")},
        {"200 not an object", AIProvider::openai, 200, "[1]", ExplainError::unavailable("HTTP 200")},
        {"refusal", AIProvider::anthropic, 200, R"({"stop_reason":"refusal"})", ExplainError::refused()},
        {"empty text", AIProvider::anthropic, 200, R"({"content":[]})", ExplainError::invalidResponse()},
        {"text not an object", AIProvider::openai, 200,
         R"({"output":[{"type":"message","content":[{"type":"output_text","text":"[]"}]}]})",
         ExplainError::invalidResponse()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reply({c.status, c.body});
        EXPECT_EQ(fails(c.provider), c.error);
    }
    EXPECT_EQ(fails(AIProvider::off), ExplainError::unavailable("Provider off"));
    EXPECT_EQ(fails(AIProvider::apple), ExplainError::unavailable("Apple Intelligence isn't available right now."));
}

TEST_F(ProviderInsightModelTest, NetworkFailuresPassUnchanged) {
    env.set("OPENAI_BASE_URL", "http://brell-test.invalid/v1");
    EXPECT_THROW(call(AIProvider::openai), HTTPClient::TransportError);
}

} // namespace
} // namespace brell
