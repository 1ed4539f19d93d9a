#include <gtest/gtest.h>

#include <string>

#include "BrellMemory/screen/ScreenPolicy.h"

namespace brell {
namespace {

// `common` words shared by both texts, then `onlyFirst` words of the first text alone.
std::pair<std::string, std::string> overlapping(int common, int onlyFirst) {
    std::string a;
    std::string b;
    for (int i = 0; i < common; ++i) {
        a += "shared" + std::to_string(i) + " ";
        b += "shared" + std::to_string(i) + " ";
    }
    for (int i = 0; i < onlyFirst; ++i) {
        a += "extra" + std::to_string(i) + " ";
    }
    return {a, b};
}

TEST(ScreenPolicyTest, ConstantSets) {
    EXPECT_EQ(ScreenPolicy::alwaysExcluded().size(), 11u);
    EXPECT_EQ(ScreenPolicy::messagingApps().size(), 14u);
    EXPECT_EQ(ScreenPolicy::assistantApps().size(), 5u);
    EXPECT_TRUE(ScreenPolicy::alwaysExcluded().contains("dev.brell.BRELL"));
    EXPECT_TRUE(ScreenPolicy::alwaysExcluded().contains("com.apple.ScreenSaver.Engine"));
    // Identifiers are compared exactly, capitals included.
    EXPECT_FALSE(ScreenPolicy::alwaysExcluded().contains("com.apple.passwords"));
}

TEST(ScreenPolicyTest, MessagingByIdentifierOrTitle) {
    struct Case {
        const char* name;
        const char* bundle;
        const char* title;
        bool messaging;
    } cases[] = {
        {"mail app, empty title", "com.apple.mail", "", true},
        {"chat app, any title", "ru.keepcoder.Telegram", "Saved Messages", true},
        {"web mail in a browser", "com.google.Chrome", "Inbox (3) - me@example.com - Gmail", true},
        {"title in capitals", "com.apple.Safari", "SLACK | #general", true},
        {"pattern inside a word", "com.apple.Safari", "Email marketing guide", true},
        {"teams in a browser", "org.mozilla.firefox", "Microsoft Teams", true},
        {"ordinary page", "com.apple.Safari", "Pricing tiers explained", false},
        {"identifier close to a messaging app", "com.apple.mailx", "Notes", false},
        {"identifier in other capitals", "com.apple.Mail", "Notes", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScreenPolicy::isMessaging(c.bundle, c.title), c.messaging);
    }
}

TEST(ScreenPolicyTest, WordsAreDistinctLowerCasedAndAtLeastThreeCharacters) {
    EXPECT_EQ(ScreenPolicy::words("The THE the; ab 12 123 x-ray Wi-Fi"),
              (std::unordered_set<std::string>{"the", "123", "ray"}));
    // Three user-perceived characters, however many bytes they take.
    EXPECT_EQ(ScreenPolicy::words("\u00c9t\u00e9 e\u0301t"), (std::unordered_set<std::string>{"\u00e9t\u00e9"}));
    // Two characters of three bytes each are too short.
    EXPECT_EQ(ScreenPolicy::words("\u65e5\u672c\u8a9e \u65e5\u672c"),
              (std::unordered_set<std::string>{"\u65e5\u672c\u8a9e"}));
}

// Vowel signs and accents are part of their word: two unrelated window texts in a
// script that uses them are not "similar", so the second never overwrites the first.
TEST(ScreenPolicyTest, WordsKeepTheirCombiningMarks) {
    const std::string office = "प्रधानमंत्री "
                               "कार्यालय";
    const std::string weather = "मौसम समाचार "
                                "बारिश";
    EXPECT_EQ(ScreenPolicy::words(office), (std::unordered_set<std::string>{"प्रधानमंत्री", "कार्यालय"}));
    EXPECT_FALSE(ScreenPolicy::similar(office, weather));
    EXPECT_TRUE(ScreenPolicy::similar(office, office + " " + office));
    // Decomposed accents too: "Résumé" is one word of six characters.
    EXPECT_EQ(ScreenPolicy::words("Résumé X"), (std::unordered_set<std::string>{"résumé"}));
}

TEST(ScreenPolicyTest, SimilarAtTheThreshold) {
    struct Case {
        const char* name;
        std::pair<std::string, std::string> texts;
        bool similar;
    } cases[] = {
        {"85 of 100 words shared", overlapping(85, 15), true},
        {"84 of 100 words shared", overlapping(84, 16), false},
        {"17 of 20 shared (also 85 %)", overlapping(17, 3), true},
        {"identical", overlapping(40, 0), true},
        {"nothing shared", {"alpha beta gamma", "delta epsilon zeta"}, false},
        {"no long words on either side", {"ab 12 cd ef gh ij kl", "xy 34 uv wq rs tu"}, true},
        {"long words on one side only", {"ab 12 cd ef gh ij kl", "xy 34 uv wq rs tu longer"}, false},
        {"repeats and case do not count", {"Alpha alpha BETA gamma", "alpha beta gamma gamma"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScreenPolicy::similar(c.texts.first, c.texts.second), c.similar);
        EXPECT_EQ(ScreenPolicy::similar(c.texts.second, c.texts.first), c.similar);
    }
}

} // namespace
} // namespace brell
