#include "BrellMemory/records/AssistantBrell.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"

namespace brell {
namespace {

AssistantBrell brell(std::string name, std::vector<std::string> keywords) {
    return AssistantBrell{std::move(name), std::move(keywords), std::nullopt, std::nullopt, std::nullopt};
}

TEST(AssistantBrellTest, TermsSplitATypedList) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"short pieces are dropped", "ab, cd; pricing tiers", {"pricing tiers"}},
        {"commas, semicolons and line breaks",
         "acme,beta;gamma\ndelta\r\nepsilon\u2028zeta",
         {"acme", "beta", "gamma", "delta", "epsilon", "zeta"}},
        {"spaces and tabs are trimmed", " \tAcme pricing \t,, ;", {"Acme pricing"}},
        {"three characters are enough", "abc,ab", {"abc"}},
        {"characters, not bytes", "\u65E5\u672C, \u65E5\u672C\u8A9E, n\u0303a\u0303", {"\u65E5\u672C\u8A9E"}},
        {"order and repeats are kept", "zeta, alpha, zeta", {"zeta", "alpha", "zeta"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AssistantBrell::terms(c.text), c.expected);
    }
}

TEST(AssistantBrellTest, TopicIsTheFirstSixKeywordsOrTheName) {
    EXPECT_EQ(brell("Pricing", {}).topic(), "Pricing");
    EXPECT_EQ(brell("Pricing", {"acme", "tiers"}).topic(), "acme tiers");
    EXPECT_EQ(brell("Pricing", {"k1", "k2", "k3", "k4", "k5", "k6", "k7"}).topic(), "k1 k2 k3 k4 k5 k6");
}

TEST(AssistantBrellTest, CardsMatchingAnyKeywordInTheGivenOrder) {
    std::vector<Card> cards{
        test::cardOf(test::quoteCapture("Acme raised prices"), Lane::evidence, 1),
        test::cardOf(test::quoteCapture("Unrelated"), Lane::notes, 2),
        test::cardOf(test::quoteCapture("Tiered plans at Globex"), Lane::evidence, 3),
    };
    auto ids = [](const std::vector<Card>& found) {
        std::vector<UUID> out;
        for (const Card& card : found) {
            out.push_back(card.id);
        }
        return out;
    };
    EXPECT_EQ(ids(brell("P", {"globex", "ACME"}).cards(cards)),
              (std::vector<UUID>{test::sampleID(1), test::sampleID(3)}));
    EXPECT_EQ(ids(brell("P", {"nothing"}).cards(cards)), std::vector<UUID>{});
    // The name alone does not match: no keywords, no cards.
    EXPECT_EQ(ids(brell("Acme", {}).cards(cards)), std::vector<UUID>{});
    // A blank keyword matches everything, as Card::matches does.
    EXPECT_EQ(ids(brell("P", {"  "}).cards(cards)),
              (std::vector<UUID>{test::sampleID(1), test::sampleID(2), test::sampleID(3)}));
}

} // namespace
} // namespace brell
