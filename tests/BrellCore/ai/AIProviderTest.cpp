// The provider choice, the one AI error with its sentences, labels and model tests.
#include <gtest/gtest.h>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/Explainer.h"

namespace brell {
namespace {

TEST(AIProviderTest, EveryProviderCarriesItsFacts) {
    struct Case {
        AIProvider provider;
        const char* raw;
        const char* displayName;
        const char* shortName;
        const char* defaultModel;
        std::optional<std::string_view> environmentKey;
        bool onDevice;
        int deadline;
    };
    const Case cases[] = {
        {AIProvider::off, "off", "Off \u2014 manual notes only", "Off", "", std::nullopt, false, 0},
        {AIProvider::claudeCode, "claudeCode", "Claude Code (your subscription)", "Claude Code", "", std::nullopt,
         false, 90},
        {AIProvider::apple, "apple", "Apple Intelligence (on this Mac)", "Apple Intelligence", "", std::nullopt, true,
         40},
        {AIProvider::anthropic, "anthropic", "Claude API (key)", "Claude", "claude-opus-5-5", "ANTHROPIC_API_KEY",
         false, 20},
        {AIProvider::openai, "openai", "OpenAI", "OpenAI", "gpt-4.1-mini-2025-04-14", "OPENAI_API_KEY", false, 8},
    };
    ASSERT_EQ(AIProvider::allCases().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(AIProvider::allCases()[i], c.provider) << "allCases keeps the table's order";
        EXPECT_EQ(c.provider.rawValue(), c.raw);
        EXPECT_EQ(c.provider.id(), c.raw);
        EXPECT_EQ(c.provider.displayName(), c.displayName);
        EXPECT_EQ(c.provider.shortName(), c.shortName);
        EXPECT_EQ(c.provider.defaultModel(), c.defaultModel);
        EXPECT_EQ(c.provider.environmentKey(), c.environmentKey);
        EXPECT_EQ(c.provider.isOnDevice(), c.onDevice);
        EXPECT_EQ(c.provider.deadline(), c.deadline);
        EXPECT_EQ(AIProvider::fromRawValue(c.raw), c.provider);
    }
}

TEST(AIProviderTest, RawValuesMatchExactly) {
    for (const char* raw : {"OpenAI", "Anthropic", "claudecode", " off", "off ", "", "none"}) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(AIProvider::fromRawValue(raw), std::nullopt);
    }
}

TEST(ExplainErrorTest, EveryKindHasItsSentenceAndRetryFlag) {
    struct Case {
        ExplainError error;
        ExplainError::Kind kind;
        const char* message;
        bool retryable;
    };
    const Case cases[] = {
        {ExplainError::unavailable("Carried."), ExplainError::Kind::unavailable, "Carried.", true},
        {ExplainError::badInput(), ExplainError::Kind::badInput, "This item has no text to explain.", false},
        {ExplainError::noKey(), ExplainError::Kind::noKey,
         "Add an API key in Settings \u2192 AI, or choose another provider.", false},
        {ExplainError::timeout(), ExplainError::Kind::timeout,
         "The AI took too long and was stopped. Nothing was changed; try again.", true},
        {ExplainError::refused(), ExplainError::Kind::refused,
         "The AI declined to answer about this text. Nothing was changed.", false},
        {ExplainError::rateLimited(), ExplainError::Kind::rateLimited,
         "Your AI provider is limiting requests. Wait a minute, then try again.", true},
        {ExplainError::invalidResponse(), ExplainError::Kind::invalidResponse,
         "The AI's answer came back incomplete, so BRELL didn't use it. Try again.", true},
        {ExplainError::cancelled(), ExplainError::Kind::cancelled, "Cancelled.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_EQ(c.error.message(), c.message);
        EXPECT_STREQ(c.error.what(), c.message);
        EXPECT_EQ(c.error.isRetryable(), c.retryable);
    }
}

TEST(ExplainErrorTest, EqualityLooksAtTheKindAndTheCarriedSentence) {
    EXPECT_EQ(ExplainError::unavailable("A."), ExplainError::unavailable("A."));
    EXPECT_NE(ExplainError::unavailable("A."), ExplainError::unavailable("B."));
    EXPECT_NE(ExplainError::unavailable("Cancelled."), ExplainError::cancelled());
    EXPECT_EQ(ExplainError::timeout(), ExplainError::timeout());
}

TEST(ExplainerLabelTest, NamesTheProviderAndModel) {
    struct Case {
        AIProvider provider;
        const char* model;
        const char* label;
    };
    const Case cases[] = {
        {AIProvider::claudeCode, "", "Claude Code \u00B7 your subscription"},
        {AIProvider::claudeCode, "  ", "Claude Code \u00B7 your subscription"},
        {AIProvider::claudeCode, " opus ", "Claude Code \u00B7  opus "},
        {AIProvider::apple, "anything", "Apple Intelligence \u00B7 on this Mac"},
        {AIProvider::anthropic, "", "Claude \u00B7 "},
        {AIProvider::anthropic, "claude-opus-5-5", "Claude \u00B7 claude-opus-5-5"},
        {AIProvider::openai, "gpt-4.1-mini-2025-04-14", "OpenAI \u00B7 gpt-4.1-mini-2025-04-14"},
        {AIProvider::off, "x", "Off \u00B7 x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Explainer::label(c.provider, c.model), c.label);
    }
}

TEST(ExplainerLabelTest, ModelTestsUsePrefixesForEffortAndWholeNamesForFallback) {
    struct Case {
        const char* model;
        bool effort;
        bool fallback;
    };
    const Case cases[] = {
        {"claude-opus-5-5", true, true},
        {"claude-opus-5-5-20270101", true, false},
        {"claude-opus-5", true, true},
        {"claude-sonnet-4-6", true, false},
        {"claude-sonnet-4-5", false, false},
        {"claude-fable-5-2", true, true},
        {"claude-mythos-1", true, false},
        {"claude-haiku-5", true, false},
        {"Claude-opus-5-5", false, false},
        {"gpt-4.1-mini-2025-04-14", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        EXPECT_EQ(Explainer::modelSupportsEffort(c.model), c.effort);
        EXPECT_EQ(Explainer::modelSupportsFallback(c.model), c.fallback);
    }
}

} // namespace
} // namespace brell
