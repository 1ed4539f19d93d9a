#include "BrellCore/board/Card.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"

namespace brell {

class CardTest : public ::testing::Test {
protected:
    // A card with every searchable field holding a different word.
    Card card = [] {
        SourceRef source{"Sourcetitle words", "https://sourcehost.example/path", "Appname", "com.bundleonly.app",
                         false};
        Capture capture(test::sampleID(2), CaptureKind::url, "Captured passage", "https://targethost.example/",
                        "Targettitle", source, test::march1);
        Note note{Note::Mode::ai, "Explanation text", "Caveat text", "Providerlabel", test::march1};
        return test::cardOf(capture, Lane::links, 1, note);
    }();
};

TEST_F(CardTest, MatchesASubstringOfAnySearchedFieldIgnoringCase) {
    struct Case {
        const char* query;
        bool matches;
    } cases[] = {
        {"", true},
        {"   \n\t", true},
        {"captured", true},
        {"PASSAGE", true},
        {"targethost", true},
        {"TARGETTITLE", true},
        {"sourcetitle WORDS", true},
        {"sourcehost.example/pa", true},
        {"appname", true},
        {"explanation", true},
        {"caveat", true},
        {"  caveat text  ", true}, // the query is trimmed
        {"bundleonly", false},     // never searched
        {"links", false},          // nor the lane
        {"2025", false},           // nor the dates
        {"providerlabel", false},  // nor the provider
        {"passage captured", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(card.matches(c.query), c.matches);
    }
}

// Ignoring case means full case folding: one letter may fold to two.
TEST_F(CardTest, MatchesWithFullCaseFolding) {
    struct Case {
        const char* name;
        const char* text;
        const char* query;
        bool matches;
    } cases[] = {
        {"capitals find a sharp s", "Die Straße entlang", "STRASSE", true},
        {"a sharp s finds capitals", "DIE STRASSE ENTLANG", "straße", true},
        {"final and medial sigma are one letter", "ΟΔΟΣ", "οδος", true},
        {"a ligature matches its letters", "An eﬃcient route", "EFFICIENT", true},
        {"composed and decomposed accents meet", "Café noir", "CAFÉ", true},
        {"accents still count", "Cafe noir", "café", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Card card = test::cardOf(test::quoteCapture(c.text), Lane::evidence);
        EXPECT_EQ(card.matches(c.query), c.matches);
    }
}

TEST_F(CardTest, AbsentFieldsAreSkipped) {
    Card bare = test::cardOf(test::quoteCapture("Élan vital"), Lane::evidence);
    bare.capture.source.url = std::nullopt;
    EXPECT_TRUE(bare.matches("élan"));
    EXPECT_TRUE(bare.matches("ÉLAN"));
    EXPECT_FALSE(bare.matches("explanation"));
}

TEST_F(CardTest, HiddenOnlyWhenTheChoiceIsPresentAndTrue) {
    for (auto [hidden, expected] :
         {std::pair<std::optional<bool>, bool>{std::nullopt, false}, {false, false}, {true, true}}) {
        card.hiddenFromAssistants = hidden;
        EXPECT_EQ(card.isHiddenFromAssistants(), expected);
    }
}

TEST_F(CardTest, AbsentAndFalseHiddenAreDifferentValues) {
    Card shown = card;
    shown.hiddenFromAssistants = false;
    EXPECT_NE(shown, card);
    EXPECT_NE(std::hash<Card>{}(shown), std::hash<Card>{}(card));
}

} // namespace brell
