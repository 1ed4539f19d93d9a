// The prompts and schemas word for word, and the two inputs a model is given.
#include <gtest/gtest.h>

#include "BrellMemory/insights/InsightPrompts.h"
#include "support/TestSupport.h"
#include "util/Text.h"

namespace brell {
namespace {

std::string withoutLastNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

TaskContext espressoTask() {
    return TaskContext{
        7, 12, 3, "Home espresso", "Fix sour shots", "Dial in the grinder for light roasts", "grinder, light roast"};
}

Excerpt excerpt(int64_t chunk, std::optional<ExposureLabel> exposure, std::string text) {
    return Excerpt{chunk,    100 + chunk,     "s1",     "transcript", "Grinder video", "12:04",
                   exposure, std::move(text), "capture"};
}

TEST(InsightPromptsTest, SystemPromptsAreExact) {
    EXPECT_EQ(InsightPrompts::candidate, withoutLastNewline(test::fixture("insights/candidate-prompt.txt")));
    EXPECT_EQ(InsightPrompts::verifier, withoutLastNewline(test::fixture("insights/verifier-prompt.txt")));
    EXPECT_EQ(Text::characterCount(InsightPrompts::candidate), 1206u);
    EXPECT_EQ(Text::characterCount(InsightPrompts::verifier), 424u);
}

// Key order matters: the schemas go into request bodies that are compared as text.
TEST(InsightPromptsTest, SchemasAreExactInTheirKeyOrder) {
    struct Case {
        const char* name;
        const OrderedJson& schema;
        const char* golden;
    } cases[] = {
        {"candidate", InsightPrompts::candidateSchema(), "insights/candidate-schema.json"},
        {"verifier", InsightPrompts::verifierSchema(), "insights/verifier-schema.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.schema.dump(), OrderedJson::parse(test::fixture(c.golden)).dump());
    }
    const OrderedJson& candidateObject = InsightPrompts::candidateSchema()["properties"]["candidate"]["anyOf"][0];
    EXPECT_EQ(candidateObject["properties"]["evidence"]["items"], InsightPrompts::evidenceItem());
    EXPECT_EQ(&InsightPrompts::candidateSchema(), &InsightPrompts::candidateSchema()); // built once
}

TEST(InsightPromptsTest, CandidateInputShowsOnlyPrefixedIdsAndEveryExposure) {
    std::vector<Excerpt> pack = {excerpt(345, ExposureLabel::outsideObservedPlayback, "grind finer for light roasts"),
                                 excerpt(9, std::nullopt, "sour means under-extracted")};
    pack[1].kind = "comment";
    pack[1].whereLabel = "comment";
    Json expected = Json::parse(R"({
        "task": {"projectId": "p7", "taskId": "t12", "project": "Home espresso", "title": "Fix sour shots",
                 "objective": "Dial in the grinder for light roasts", "keywords": "grinder, light roast"},
        "evidence": [
            {"chunkId": "c345", "source": "Grinder video", "type": "transcript", "where": "12:04",
             "exposure": "Outside observed playback", "excerpt": "grind finer for light roasts"},
            {"chunkId": "c9", "source": "Grinder video", "type": "comment", "where": "comment",
             "exposure": "unknown", "excerpt": "sour means under-extracted"}]})");
    Json input = InsightPrompts::candidateInput(espressoTask(), pack);
    EXPECT_EQ(input, expected);
    // No bare row number anywhere a model could mistake for an id.
    std::string text = input.dump();
    for (const char* bare : {"\"7\"", "\"12\"", "\"345\"", ":7", ":12", ":345"}) {
        EXPECT_EQ(text.find(bare), std::string::npos) << bare;
    }
    EXPECT_EQ(InsightPrompts::candidateInput(espressoTask(), {})["evidence"], Json::array());
}

TEST(InsightPromptsTest, VerifierInputPairsEachClaimWithItsExcerpt) {
    std::vector<Excerpt> pack = {excerpt(1, std::nullopt, "first text"), excerpt(2, std::nullopt, "second text")};
    CandidateDraft draft;
    draft.title = "Grind finer";
    draft.nextStep = "Pull one shot two steps finer";
    draft.evidence = {{2, "cause", "finer helps", std::nullopt},
                      {99, "context", "not in the pack", std::nullopt},
                      {1, "symptom", "sour", "supported"}};
    Json expected = Json::parse(R"({
        "task": {"title": "Fix sour shots", "objective": "Dial in the grinder for light roasts"},
        "candidate": {"title": "Grind finer", "nextStep": "Pull one shot two steps finer",
                      "expectedOutcome": "", "uncertainty": ""},
        "claims": [{"index": 0, "claim": "finer helps", "excerpt": "second text"},
                   {"index": 1, "claim": "not in the pack", "excerpt": ""},
                   {"index": 2, "claim": "sour", "excerpt": "first text"}]})");
    EXPECT_EQ(InsightPrompts::verifierInput(espressoTask(), draft, pack), expected);

    draft.expectedOutcome = "Sweeter shot";
    draft.uncertainty = "Beans differ";
    Json candidate = InsightPrompts::verifierInput(espressoTask(), draft, pack)["candidate"];
    EXPECT_EQ(candidate["expectedOutcome"], "Sweeter shot");
    EXPECT_EQ(candidate["uncertainty"], "Beans differ");
}

} // namespace
} // namespace brell
