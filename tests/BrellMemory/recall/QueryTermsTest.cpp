#include <gtest/gtest.h>

#include "BrellMemory/recall/QueryTerms.h"

namespace brell {
namespace {

using Words = std::vector<std::string>;

TEST(QueryTermsTest, TablesHaveTheirFixedSizes) {
    EXPECT_EQ(QueryTerms::stopWords().size(), 88u);
    for (auto word : QueryTerms::stopWords()) {
        EXPECT_TRUE(QueryTerms::isStopWord(word)) << word;
    }
    EXPECT_EQ(QueryTerms::synonyms("closing"), (std::vector<std::string_view>{"dismiss", "dismissal", "close"}));
    EXPECT_TRUE(QueryTerms::synonyms("panel").empty()); // synonyms are not symmetric
}

TEST(QueryTermsTest, WordsAreLowerCasedLetterAndNumberRuns) {
    struct Case {
        const char* name;
        std::string text;
        Words expected;
    } cases[] = {
        {"hyphen, digits and apostrophe", "Wi-Fi 6E's", {"wi", "fi", "6e", "s"}},
        {"punctuation only", " -- ?! ", {}},
        {"accented capitals", "Über CAFÉ, Straße", {"über", "café", "straße"}},
        {"curly apostrophe between ASCII", "Don\u2019t STOP", {"don", "t", "stop"}},
        {"emoji and symbols split", "go\U0001F44DNow \u00a95x", {"go", "now", "5x"}},
        {"other scripts and numbers",
         "\u6771\u4eac 2024\u5e74 \u0661\u0662",
         {"\u6771\u4eac", "2024\u5e74", "\u0661\u0662"}},
        // Lower-casing sees the whole text: a sigma before a case-ignorable full stop
        // and a letter is not word-final; before a space it is.
        {"sigma before a full stop", "\u039f\u0394\u039f\u03a3.\u0391", {"\u03bf\u03b4\u03bf\u03c3", "\u03b1"}},
        {"sigma before a space", "\u039f\u0394\u039f\u03a3 \u0391", {"\u03bf\u03b4\u03bf\u03c2", "\u03b1"}},
        // A combining mark belongs to the letter it sits on.
        {"vowel signs stay in their word", "हिंदी भाषा", {"हिंदी", "भाषा"}},
        {"a decomposed accent stays on its letter", "CAFÉ noir", {"café", "noir"}},
        {"a decomposed accent mid-word", "Mañana's", {"mañana", "s"}},
        {"ill-formed bytes separate words",
         std::string("ab\xff"
                     "cd"),
         {"ab", "cd"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QueryTerms::words(c.text), c.expected);
    }
}

TEST(QueryTermsTest, TermsKeepTheUsersWordsThenAddSynonyms) {
    struct Case {
        const char* name;
        std::string query;
        Words original;
        Words expanded;
    } cases[] = {
        {"the login bug",
         "How did I fix the login bug",
         {"fix", "login", "bug"},
         {"fix", "login", "bug", "workaround", "solution", "auth", "authentication", "issue", "problem"}},
        {"stop words, one-letter words and punctuation only", "what is the thing? a b c!", {}, {}},
        {"repeats in any case count once", "Login LOGIN login", {"login"}, {"login", "auth", "authentication"}},
        {"a synonym already among the terms is not added again",
         "closing close",
         {"closing", "close"},
         {"closing", "close", "dismiss", "dismissal"}},
        // One character each: two bytes, and two letters that join into one syllable.
        {"one-character words in user-perceived characters",
         "\u00e9 \u1100\u1161 \u00e9t\u00e9",
         {"\u00e9t\u00e9"},
         {"\u00e9t\u00e9"}},
        {"at most 12 terms",
         "w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12 w13 w14",
         {"w1", "w2", "w3", "w4", "w5", "w6", "w7", "w8", "w9", "w10", "w11", "w12"},
         {"w1", "w2", "w3", "w4", "w5", "w6", "w7", "w8", "w9", "w10", "w11", "w12"}},
        {"expansion stops at 20",
         "utility floating popup closing keyboard focus bug fix slow price login",
         {"utility", "floating", "popup", "closing", "keyboard", "focus", "bug", "fix", "slow", "price", "login"},
         {"utility", "floating", "popup",     "closing", "keyboard", "focus",    "bug",
          "fix",     "slow",     "price",     "login",   "panel",    "palette",  "overlay",
          "popover", "dismiss",  "dismissal", "close",   "key",      "keystroke"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QueryTerms::Terms terms = QueryTerms::terms(c.query);
        EXPECT_EQ(terms.original, c.original);
        EXPECT_EQ(terms.expanded, c.expanded);
    }
}

TEST(QueryTermsTest, StemRemovesTheFirstSuffixThatLeavesFourCharacters) {
    struct Case {
        const char* word;
        const char* stem;
    } cases[] = {
        {"pricing", "pric"},
        {"closes", "clos"},
        {"singly", "sing"}, // "ingly" would leave one character; "ly" fits
        {"dismissal", "dismissal"},
        {"Surprisingly", "surpris"},
        {"information", "inform"},
        {"jumped", "jump"},
        {"red", "red"},
        {"things", "thing"}, // too short for "ings" or "ing"; "s" fits
        {"Cafés", "café"},
        {"\u00f1\u00f1\u00f1s", "\u00f1\u00f1\u00f1s"}, // four characters (seven bytes): nothing fits
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(QueryTerms::stem(c.word), c.stem);
    }
}

TEST(QueryTermsTest, MatchedComparesStems) {
    struct Case {
        const char* name;
        Words terms;
        std::string text;
        Words expected;
    } cases[] = {
        {"pricing matches priced", {"pricing"}, "They priced it high.", {"pricing"}},
        {"closing matches closes", {"closing"}, "The panel closes itself", {"closing"}},
        {"close does not match closes", {"close"}, "The panel closes itself", {}},
        {"no substring matches", {"bug"}, "debugging all day", {}},
        {"order and repeats as given",
         {"tiers", "pricing", "tiers", "absent"},
         "PRICING TIERS",
         {"tiers", "pricing", "tiers"}},
        {"terms are lower-cased too", {"Login"}, "the login page", {"Login"}},
        {"non-ASCII words", {"straße"}, "Die STRASSE? Nein, die Stra\u00dfe.", {"straße"}},
        {"empty text", {"alpha"}, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QueryTerms::matched(c.terms, c.text), c.expected);
    }
}

} // namespace
} // namespace brell
