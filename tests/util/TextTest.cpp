#include "util/Text.h"

#include <gtest/gtest.h>

namespace brell {

TEST(TextTest, TrimRemovesUnicodeWhiteSpaceAtBothEnds) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
    } cases[] = {
        {"plain", "  word \n", "word"},
        {"inner kept", "\ta  b\r\n", "a  b"},
        {"no-break and ideographic spaces", "\u00a0\u3000x\u2029", "x"},
        {"only space", " \n\t ", ""},
        {"empty", "", ""},
        {"non-ASCII inside", " Élan ", "Élan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text::trim(c.input), c.expected);
    }
}

TEST(TextTest, CountsUserPerceivedCharacters) {
    struct Case {
        const char* name;
        std::string input;
        std::size_t count;
    } cases[] = {
        {"ascii", "hello", 5},
        {"crlf is one", "a\r\nb", 3},
        {"combining accent", "e\u0301", 1},
        {"family emoji", "\U0001F468\u200D\U0001F469\u200D\U0001F467", 1},
        {"flag", "\U0001F1EC\U0001F1E7x", 2},
        {"empty", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text::characterCount(c.input), c.count);
    }
    EXPECT_EQ(Text::prefixCharacters("e\u0301xyz", 2), "e\u0301x");
    EXPECT_EQ(Text::prefixCharacters("ab", 5), "ab");
}

TEST(TextTest, FoldsCaseAndDiacritics) {
    EXPECT_EQ(Text::fold("Élan"), Text::fold("elan"));
    EXPECT_EQ(Text::fold("STRASSE"), Text::fold("straße"));
    EXPECT_EQ(Text::lower("ÀB"), "àb");
}

TEST(TextTest, CaseFoldsFullyAndKeepsAccents) {
    struct Case {
        const char* name;
        std::string text;
        std::string folded;
    } cases[] = {
        {"sharp s becomes two letters", "Straße", "strasse"},
        {"capitals", "STRASSE", "strasse"},
        {"final sigma", "ΟΔΟΣ οδος", "οδοσ οδοσ"},
        {"accents kept, composed", "ÉLAN", "élan"},
        {"dotted capital I", "İ", "i̇"},
        {"ill-formed bytes", "A\xff", "a\uFFFD"},
        {"plain ASCII, every printable and control byte kept", "Kelvin K, [A-Z] @_`{~}\t\x01",
         "kelvin k, [a-z] @_`{~}\t\x01"},
        {"ASCII next to a Kelvin sign", "K\u212A", "kk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text::caseFold(c.text), c.folded);
    }
}

TEST(TextTest, ReadsHexadecimalDigitsAndNothingNextToThem) {
    const std::pair<char, int> cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'f', 15},  {'A', 10},
                                          {'F', 15}, {'/', -1}, {':', -1}, {'@', -1},  {'G', -1},
                                          {'`', -1}, {'g', -1}, {'%', -1}, {'\0', -1}, {'\xc3', -1}};
    for (const auto& [c, value] : cases) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(c)));
        EXPECT_EQ(Text::hexDigitValue(c), value);
    }
}

TEST(TextTest, RemovesControlsButNotWhiteSpace) {
    EXPECT_EQ(Text::removeControls(std::string("a\0b\x01"
                                               "c\x1b[2Jd\x7f",
                                               11)),
              "abc[2Jd\x7f");
    EXPECT_EQ(Text::removeControls("tab\tline\nvt\vff\fcr\r"), "tab\tline\nvt\vff\fcr\r");
    EXPECT_EQ(Text::removeControls("éहि 😀"), "éहि 😀");
}

TEST(TextTest, ReplacesIllFormedUTF8) {
    EXPECT_FALSE(Text::isValidUTF8("a\xff"));
    EXPECT_EQ(Text::sanitizeUTF8("a\xff"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Text::characterCount("a\xff"), 2u);
}

TEST(TextTest, SentencesKeepTheirTextAndFollowingSpace) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"two sentences", "It rose 5.5% in May. Then it fell!  ", {"It rose 5.5% in May. ", "Then it fell!  "}},
        {"a question and a line break", "Why?\nBecause.", {"Why?\n", "Because."}},
        {"no sentence end", "just words", {"just words"}},
        {"blank", " \n ", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text::sentences(c.text), c.expected);
    }
}

} // namespace brell
