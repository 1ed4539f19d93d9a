// The on-device model on a system without one, the environment switch, the input
// budget and the language check's arithmetic, and the reading of platform failures.
#include <gtest/gtest.h>

#include "BrellCore/ai/OnDeviceModel.h"
#include "ScopedEnvironment.h"

namespace brell {
namespace {

using Status = OnDeviceModel::Status;
using Hypotheses = std::vector<OnDevicePlatform::Hypothesis>;

TEST(OnDeviceModelTest, StatusSentences) {
    struct Case {
        Status status;
        const char* sentence;
    };
    const Case cases[] = {
        {Status::available, "Ready. Runs on this Mac; nothing is sent anywhere."},
        {Status::needsNewerSystem, "Needs macOS 26 or later."},
        {Status::deviceNotEligible, "This Mac doesn't support Apple Intelligence."},
        {Status::notEnabled, "Turn on Apple Intelligence in System Settings to use it."},
        {Status::notReady, "Apple Intelligence is still getting ready (the model may be downloading)."},
        {Status::unavailable, "Apple Intelligence isn't available right now."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        EXPECT_EQ(OnDeviceModel::sentence(c.status), c.sentence);
    }
    EXPECT_EQ(OnDeviceModel::label, "Apple Intelligence \u00B7 on this Mac");
}

TEST(OnDeviceModelTest, UnavailableHereAndWhenSwitchedOff) {
    struct Case {
        const char* name;
        std::optional<std::string> value;
        bool disabled;
    };
    const Case cases[] = {
        {"unset", std::nullopt, false},
        {"1", "1", true},
        {"true", "true", false},
        {"0", "0", false},
        {" 1", " 1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedEnvironment env;
        if (c.value) {
            env.set("BRELL_NO_ON_DEVICE", *c.value);
        } else {
            env.unset("BRELL_NO_ON_DEVICE");
        }
        EXPECT_EQ(OnDeviceModel::disabledByEnvironment(), c.disabled);
        // This system has no on-device model, so everything reads as unavailable.
        EXPECT_EQ(OnDeviceModel::status(), Status::unavailable);
        EXPECT_FALSE(OnDeviceModel::isAvailable());
        EXPECT_EQ(OnDeviceModel::contextTokens(), 0);
        EXPECT_EQ(OnDeviceModel::inputBudget(), 0);
        EXPECT_TRUE(OnDeviceModel::supportedLanguageCodes().empty());
        EXPECT_FALSE(OnDeviceModel::supports("Hello"));
        try {
            OnDeviceModel::run("system", "input", {{"type", "object"}}, 40, CancelToken());
            ADD_FAILURE() << "ran";
        } catch (const ExplainError& e) {
            EXPECT_EQ(e, ExplainError::unavailable("Apple Intelligence isn't available right now."));
        }
    }
}

TEST(OnDeviceModelTest, InputBudget) {
    struct Case {
        int context;
        int budget;
    };
    const Case cases[] = {{4096, 5990}, {2000, 2500}, {2700, 2500}, {2701, 2502},
                          {1, 2500},    {0, 0},       {-5, 0},      {8192, 16230}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.context);
        EXPECT_EQ(OnDeviceModel::inputBudget(c.context), c.budget);
    }
}

TEST(OnDeviceModelTest, LanguageCheck) {
    const std::string prose = "The quick brown fox jumps over the lazy dog and keeps running far across the field.";
    struct Case {
        const char* name;
        std::string text;
        std::set<std::string> languages;
        Hypotheses hypotheses;
        bool supported;
    };
    const Case cases[] = {
        {"no languages", "one", {}, {}, false},
        {"no languages, long prose", prose, {}, {{"en", 1.0}}, false},
        {"few letters", "12345 + 678 = {}; // 0x1F", {"en"}, {{"fr", 1.0}}, true},
        {"59 letters", std::string(59, 'a') + std::string(3000, '1'), {"en"}, {{"fr", 1.0}}, true},
        {"letters beyond the sample are not counted",
         std::string(2000, '1') + std::string(100, 'a'),
         {"en"},
         {{"fr", 1.0}},
         true},
        {"no hypotheses", prose, {"en"}, {}, true},
        {"one supported", prose, {"en"}, {{"en", 0.9}, {"de", 0.1}}, true},
        {"unsupported", prose, {"en"}, {{"fr", 0.8}, {"en", 0.2}}, false},
        {"supported languages below half", prose, {"en", "fr"}, {{"en", 0.2}, {"fr", 0.2}, {"it", 0.6}}, false},
        {"0.3 and 0.3 of two supported languages", prose, {"en", "fr"}, {{"en", 0.3}, {"fr", 0.3}}, true},
        {"0.3 and 0.3, one supported", prose, {"en"}, {{"en", 0.3}, {"fr", 0.3}}, false},
        {"script variant", prose, {"zh"}, {{"zh-Hans", 0.6}, {"ja", 0.4}}, true},
        {"identifier too short", prose, {"e"}, {{"e", 0.9}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        auto recognize = [&](std::string_view text, int maximum) {
            ++calls;
            EXPECT_EQ(maximum, 5);
            EXPECT_LE(text.size(), 2000u * 4);
            return c.hypotheses;
        };
        EXPECT_EQ(OnDeviceModel::supports(c.text, c.languages, recognize), c.supported);
    }
}

TEST(OnDeviceModelTest, LettersAreCountedAsCharacters) {
    EXPECT_EQ(OnDevicePlatform::letterCount("abc 123 \u00E9\u0301 \u4E2D\u6587 !"), 6u);
    EXPECT_EQ(OnDevicePlatform::letterCount(""), 0u);
}

TEST(OnDeviceModelTest, PlatformFailuresAreReadByTheirWords) {
    struct Case {
        const char* description;
        ExplainError error;
    };
    const Case cases[] = {
        {"GenerationError.GuardrailViolation", ExplainError::refused()},
        {"the model gave a Refusal", ExplainError::refused()},
        {"exceededContextWindowSize while decoding",
         ExplainError::unavailable("That's too much text for the on-device model.")},
        {"contextSize exceeded", ExplainError::unavailable("That's too much text for the on-device model.")},
        {"unsupportedLanguageOrLocale", ExplainError::unavailable("The on-device model doesn't support this language "
                                                                  "yet.")},
        {"rateLimited", ExplainError::rateLimited()},
        {"concurrentRequests", ExplainError::rateLimited()},
        {"assetsUnavailable",
         ExplainError::unavailable("Apple Intelligence is still getting ready (the model may be downloading).")},
        {"decodingFailure", ExplainError::invalidResponse()},
        {"Parsing error", ExplainError::invalidResponse()},
        {"something else entirely", ExplainError::unavailable("The on-device model couldn't answer.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(OnDeviceModel::explainError(c.description), c.error);
    }
}

} // namespace
} // namespace brell
