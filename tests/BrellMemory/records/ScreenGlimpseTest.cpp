#include "BrellMemory/records/ScreenGlimpse.h"

#include <gtest/gtest.h>

#include "util/Text.h"

namespace brell {
namespace {

TEST(ScreenGlimpseTest, PlainAddressCutsTheQueryAndFragment) {
    struct Case {
        const char* name;
        std::optional<std::string> address;
        std::optional<std::string> expected;
    } cases[] = {
        {"absent", std::nullopt, std::nullopt},
        {"empty", "", std::nullopt},
        {"only a query", "?q=1", std::nullopt},
        {"only a fragment", "#top", std::nullopt},
        {"plain already", "https://example.org/a/b", "https://example.org/a/b"},
        {"query then fragment", "https://example.org/a?b=1#c", "https://example.org/a"},
        {"fragment holding a question mark", "https://example.org/a#b?c", "https://example.org/a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScreenGlimpse::plainAddress(c.address), c.expected);
    }
}

// Lines of 50 characters (49 and a line feed), each naming its own number, so that a
// position in the text is easy to reason about: line k starts at character 50 k.
std::string numberedLines(int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        std::string line = "line " + std::to_string(k) + " ";
        line += std::string(49 - line.size(), '.');
        text += line + "\n";
    }
    return text;
}

// The window's text without the ellipsis markers, and where it begins in `text`.
struct Window {
    bool cutStart = false;
    bool cutEnd = false;
    std::string body;
};

Window split(const std::string& excerpt) {
    Window w;
    w.body = excerpt;
    if (w.body.rfind("\u2026\n", 0) == 0) {
        w.cutStart = true;
        w.body = w.body.substr(4);
    }
    if (w.body.size() >= 4 && w.body.compare(w.body.size() - 4, 4, "\n\u2026") == 0) {
        w.cutEnd = true;
        w.body.resize(w.body.size() - 4);
    }
    return w;
}

TEST(ScreenGlimpseTest, ShortTextsAreKeptWhole) {
    std::string text = "Quarterly numbers\nRevenue up";
    EXPECT_EQ(ScreenGlimpse::excerpt(text, {"revenue"}, Text::characterCount(text)), text);
    EXPECT_EQ(ScreenGlimpse::excerpt("", {"x"}, 0), "");
    // Characters, not bytes: four accented letters fit a limit of four.
    EXPECT_EQ(ScreenGlimpse::excerpt("e\u0301\u00E9\u00E9\u00E9", {}, 4), "e\u0301\u00E9\u00E9\u00E9");
}

TEST(ScreenGlimpseTest, TheWindowStartsAtTheLineBeforeTheFirstHit) {
    std::string text = numberedLines(60); // 3000 characters
    text.replace(2000, 6, "TARGET");      // line 40 starts with the word
    std::string excerpt = ScreenGlimpse::excerpt(text, {"target"}, 1000);
    Window w = split(excerpt);
    EXPECT_TRUE(w.cutStart);
    EXPECT_TRUE(w.cutEnd);
    std::size_t start = text.find(w.body);
    ASSERT_NE(start, std::string::npos);
    EXPECT_LE(start, 1750u);
    EXPECT_GE(start, 1500u);
    EXPECT_EQ(text[start - 1], '\n');
    EXPECT_EQ(Text::characterCount(w.body), 1000u);
    EXPECT_NE(w.body.find("TARGET"), std::string::npos);
    EXPECT_EQ(start, 1750u); // 2000 - 250 is itself a line start
}

TEST(ScreenGlimpseTest, TheEarliestOfTheWordsCountsIgnoringCaseAndAccents) {
    std::string text = numberedLines(60);
    text.replace(2500, 4, "\u00C9lan"); // "Élan" at line 50
    text.replace(1200, 4, "ROSE");      // line 24
    Window w = split(ScreenGlimpse::excerpt(text, {"elan", "  ", "rose"}, 400));
    std::size_t start = text.find(w.body);
    ASSERT_NE(start, std::string::npos);
    // 1200 - 100 = 1100 is the start of line 22.
    EXPECT_EQ(start, 1100u);
    EXPECT_NE(w.body.find("ROSE"), std::string::npos);
}

TEST(ScreenGlimpseTest, WithoutAHitTheWindowStartsAtTheBeginning) {
    std::string text = numberedLines(60);
    std::string excerpt = ScreenGlimpse::excerpt(text, {"absent"}, 100);
    EXPECT_EQ(excerpt, text.substr(0, 100) + "\n\u2026");
    EXPECT_EQ(ScreenGlimpse::excerpt(text, {}, 100), excerpt);
}

TEST(ScreenGlimpseTest, AHitNearTheStartOrTheEndIsNotCutThere) {
    std::string text = numberedLines(60);
    Window early = split(ScreenGlimpse::excerpt(text, {"line 1 "}, 1000));
    EXPECT_FALSE(early.cutStart);
    EXPECT_TRUE(early.cutEnd);
    EXPECT_EQ(early.body, text.substr(0, 1000));

    Window late = split(ScreenGlimpse::excerpt(text, {"line 59"}, 1000));
    EXPECT_TRUE(late.cutStart);
    EXPECT_FALSE(late.cutEnd);
    // 2950 - 250 = 2700 is a line start; the window runs to the end.
    EXPECT_EQ(late.body, text.substr(2700));
}

TEST(ScreenGlimpseTest, AHitFarFromAnyLineStartStaysInsideTheWindow) {
    // One long line: going back to its start would leave the hit out of the window.
    std::string text(3000, 'a');
    text.replace(2000, 6, "needle");
    Window w = split(ScreenGlimpse::excerpt(text, {"NEEDLE"}, 1000));
    EXPECT_TRUE(w.cutStart);
    EXPECT_TRUE(w.cutEnd);
    EXPECT_EQ(w.body, text.substr(1750, 1000));

    // A line start a little further back is still taken.
    std::string lines = text;
    lines[1599] = '\n';
    Window back = split(ScreenGlimpse::excerpt(lines, {"needle"}, 1000));
    EXPECT_EQ(back.body, lines.substr(1600, 1000));
}

TEST(ScreenGlimpseTest, CountsUserPerceivedCharacters) {
    // Each "é" as e + combining accent is one character of three bytes.
    std::string accent = "e\u0301";
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += accent;
    }
    text += "word";
    for (int i = 0; i < 300; ++i) {
        text += accent;
    }
    Window w = split(ScreenGlimpse::excerpt(text, {"word"}, 100));
    EXPECT_EQ(Text::characterCount(w.body), 100u);
    // 300 - 25 = 275 characters in: the body starts with 25 accented letters.
    std::string expectedStart;
    for (int i = 0; i < 25; ++i) {
        expectedStart += accent;
    }
    EXPECT_EQ(w.body.substr(0, expectedStart.size() + 4), expectedStart + "word");
}

} // namespace
} // namespace brell
