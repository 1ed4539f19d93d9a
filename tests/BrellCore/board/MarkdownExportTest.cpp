#include "BrellCore/board/MarkdownExport.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"
#include "support/Golden.h"

namespace brell {
namespace {

using test::march1; // 2025-03-01T09:05:07Z

const MarkdownExport::Options withLinks("BRELL research brief", true);
const MarkdownExport::Options withoutLinks("BRELL research brief", false);

SourceRef web(const std::string& title, const std::string& url) {
    return SourceRef{title, url, "Safari", std::string("com.apple.Safari"), false};
}

// One board with every kind of item, given newest first (the board's own order).
std::vector<Card> sampleBoard() {
    Note aiNote{Note::Mode::ai, "The middle tier\n  is the anchor.", std::string("Only covers *2024* prices."),
                std::string("Claude · Sonnet_4"), march1};
    Note manual{Note::Mode::manual, "Ask Sam [about] it.", std::string(""), std::nullopt, march1};
    Note ignored{Note::Mode::manual, "Never written for a link.", std::nullopt, std::nullopt, march1};
    return {
        test::cardOf(test::linkCapture("ftp://files.example/plans.pdf", std::string("Plans (FTP)"), march1 + 600,
                                       web("Plans", "https://acme.example/plans")),
                     Lane::links, 1),
        test::cardOf(test::linkCapture("https://www.example.org/a/b", std::nullopt, march1 + 500,
                                       web("Example", "https://www.example.org/a/b")),
                     Lane::links, 2, ignored),
        test::cardOf(test::linkCapture("https://globex.example/plans (2025)/<draft>", std::string("Globex plans"),
                                       march1 + 400, web("Competitors", "https://acme.example/competitors")),
                     Lane::links, 3),
        test::cardOf(test::quoteCapture("Remember to compare tiers.", march1 + 300,
                                        SourceRef{"Meeting *notes* #3", std::nullopt, "Notes", std::nullopt, false}),
                     Lane::notes, 4, manual),
        test::cardOf(test::quoteCapture("Margins rose 4%.", march1 + 200,
                                        SourceRef{"report.pdf", std::string("file:///Users/me/Q3%20report.pdf"),
                                                  "Preview", std::nullopt, false}),
                     Lane::evidence, 5),
        test::cardOf(test::quoteCapture("  Three tiers:\n- Starter\n3) Team\n\n2024 was the first year.\r\nEnd.  ",
                                        march1, web("The Pricing Page", "https://acme.example/pricing")),
                     Lane::evidence, 6, aiNote),
        // Captured at the same time as the quote above: the stable sort keeps it second.
        test::cardOf(test::quoteCapture("Same second, given later.", march1, web("", "https://acme.example/faq")),
                     Lane::evidence, 7),
    };
}

TEST(MarkdownExportTest, BriefsMatchTheirGoldenFiles) {
    struct Case {
        const char* file;
        std::vector<Card> cards;
        MarkdownExport::Options options;
    } cases[] = {
        {"markdown/board-brief.md", sampleBoard(), withLinks},
        {"markdown/board-brief-no-quote-links.md", sampleBoard(), withoutLinks},
        {"markdown/board-brief-links-only.md", {sampleBoard()[0], sampleBoard()[1]}, withLinks},
    };
    for (const auto& c : cases) {
        test::expectGolden(c.file, MarkdownExport::brief(c.cards, c.options, march1, "UTC"));
    }
}

TEST(MarkdownExportTest, EmptyBriefIsFourLines) {
    MarkdownExport::Options options("Q3 *pricing* #1", true);
    EXPECT_EQ(MarkdownExport::brief({}, options, march1 + 86400 * 200, "UTC"),
              "# Q3 \\*pricing\\* \\#1\n"
              "\n"
              "_Exported from BRELL on 17 Sept 2025 at 09:05 \u00B7 0 evidence \u00B7 0 notes \u00B7 0 links_\n");
}

TEST(MarkdownExportTest, StampUsesBritishDatesInTheGivenZone) {
    EXPECT_EQ(MarkdownExport::stamp(march1, "UTC"), "1 Mar 2025 at 09:05");
    EXPECT_EQ(MarkdownExport::stamp(march1, "Asia/Tokyo"), "1 Mar 2025 at 18:05");
}

TEST(MarkdownExportTest, EscapeInline) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"all thirteen", "\\`*_[]<>|~&#!", "\\\\\\`\\*\\_\\[\\]\\<\\>\\|\\~\\&\\#\\!"},
        {"left alone", "a-b+c=d.(1) 2", "a-b+c=d.(1) 2"},
        {"non-ASCII unchanged", "caf\u00E9 \U0001F600 \u201Cq\u201D", "caf\u00E9 \U0001F600 \u201Cq\u201D"},
        {"a special under a combining mark is still escaped", "*\u0301bold*", "\\*\u0301bold\\*"},
        {"keycap emoji keeps its marks", "#\uFE0F\u20E3", "\\#\uFE0F\u20E3"},
        {"ill-formed UTF-8 replaced", std::string("a\xFF*"), "a\uFFFD\\*"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::escapeInline(c.text), c.expected);
    }
}

TEST(MarkdownExportTest, EscapeLineStart) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"hyphen", "- item", "\\- item"},
        {"plus", "+1", "\\+1"},
        {"equals", "== heading", "\\== heading"},
        {"numbered with a full stop", "12. twelve", "12\\. twelve"},
        {"numbered with a parenthesis", "3) three", "3\\) three"},
        {"other numerals count", "\u0663. Arabic-Indic three", "\u0663\\. Arabic-Indic three"},
        {"a year and a space", "2024 was good", "2024 was good"},
        {"only digits", "2024", "2024"},
        {"a dot not right after the digits", "12 . x", "12 . x"},
        {"a dot without digits", ".hidden", ".hidden"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::escapeLineStart(c.text), c.expected);
    }
}

TEST(MarkdownExportTest, Blockquote) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"empty", "", ">"},
        {"one line, trimmed", " \t Hello\u00A0", "> Hello"},
        {"blank line inside", "a\n\nb", "> a\n>\n> b"},
        {"spaces-only line", "a\n  \t\nb", "> a\n>\n> b"},
        {"CR LF gives an empty line between", "a\r\nb", "> a\n>\n> b"},
        {"every newline character ends a line", "a\rb\u2028c\u0085d", "> a\n> b\n> c\n> d"},
        {"inline escape before the line-start escape", "- *x*\n1. y\n#tag", "> \\- \\*x\\*\n> 1\\. y\n> \\#tag"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::blockquote(c.text), c.expected);
    }
}

TEST(MarkdownExportTest, LinksHaveDestinationsOnlyForWebAndFileAddresses) {
    struct Case {
        const char* name;
        std::string text;
        std::string url;
        std::string expected;
    } cases[] = {
        {"web", "A  page\n", "https://a.example/x", "[A page](https://a.example/x)"},
        {"encoded in this order", "p", "https://a.example/a b(c)<d>", "[p](https://a.example/a%20b%28c%29%3Cd%3E)"},
        {"file", "f", "file:///tmp/a%20b.txt", "[f](file:///tmp/a%20b.txt)"},
        {"other scheme", "Mail [me]", "mailto:me@example.org", "[Mail \\[me\\]]()"},
        {"javascript", "x", "javascript:alert(1)", "[x]()"},
        {"no scheme", "x", "example.org/page", "[x]()"},
        {"not a scheme", "x", "h ttp://a.example", "[x]()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::link(c.text, c.url), c.expected);
    }
}

TEST(MarkdownExportTest, SourceText) {
    auto quote = [](SourceRef source, const std::string& text = "Prices rise 5% in May") {
        return test::quoteCapture(text, march1, std::move(source));
    };
    struct Case {
        const char* name;
        Capture capture;
        bool quoteLink;
        std::string expected;
    } cases[] = {
        {"web page with a quote link", quote(web("Prices", "https://n.example/p")), true,
         "[Prices](https://n.example/p) \u00B7 [jump to quote](https://n.example/p#:~:text=Prices%20rise%205%25%20in%"
         "20May)"},
        {"web page without", quote(web("Prices", "https://n.example/p")), false, "[Prices](https://n.example/p)"},
        {"no title: the app names the link", quote(web("", "https://n.example/p")), false,
         "[Safari](https://n.example/p)"},
        {"blank quote: no quote link", quote(web("P", "https://n.example/p"), "  "), true, "[P](https://n.example/p)"},
        {"not a web page: no quote link", quote(web("P", "mailto:a@b.example")), true, "[P]()"},
        {"local file",
         quote(SourceRef{"Report", std::string("file:///Users/me/Q3%20re_port.pdf"), "Preview", std::nullopt, false}),
         true, "Q3 re\\_port.pdf (local file)"},
        {"no address", quote(SourceRef{"Meeting\nnotes", std::nullopt, "My_Notes", std::nullopt, false}), true,
         "Meeting notes (My\\_Notes)"},
        {"no address and no title: the app twice", quote(SourceRef{"", std::nullopt, "Notes", std::nullopt, false}),
         true, "Notes (Notes)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::sourceText(c.capture, c.quoteLink), c.expected);
    }
}

TEST(MarkdownExportTest, NoteLines) {
    struct Case {
        const char* name;
        Note note;
        std::string expected;
    } cases[] = {
        {"manual", Note{Note::Mode::manual, " Check\n\nthis ", std::nullopt, std::nullopt, 0}, "**Note:** Check this"},
        {"AI without provider", Note{Note::Mode::ai, "x", std::string(""), std::nullopt, 0}, "**Explanation (AI):** x"},
        {"AI with provider and caveat",
         Note{Note::Mode::ai, "x", std::string("only *2024*"), std::string("Claude_3  Opus"), 0},
         "**Explanation (AI \u00B7 Claude\\_3  Opus):** x\n\n_Caveat:_ only \\*2024\\*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::noteLines(c.note), c.expected);
    }
}

TEST(MarkdownExportTest, UrlCardsAreOneLine) {
    Note note{Note::Mode::manual, "Not written.", std::nullopt, std::nullopt, march1};
    struct Case {
        const char* name;
        Card card;
        std::string expected;
    } cases[] = {
        {"found on a page",
         test::cardOf(test::linkCapture("https://globex.example/plans", std::string("Globex")), Lane::links, 1, note),
         "- [Globex](https://globex.example/plans) \u2014 found on [Field Notes](https://example.org/a/b)"},
        {"the page itself, named by its host",
         test::cardOf(test::linkCapture("https://www.example.org/a/b", std::string(""), march1,
                                        web("Example", "https://www.example.org/a/b")),
                      Lane::links),
         "- [example.org](https://www.example.org/a/b)"},
        {"no target at all",
         test::cardOf(Capture(test::sampleID(9), CaptureKind::url, std::nullopt, std::nullopt, std::nullopt,
                              SourceRef{"", std::nullopt, "Notes", std::nullopt, false}, march1),
                      Lane::links),
         "- []()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MarkdownExport::item(c.card, withLinks), c.expected);
    }
}

} // namespace
} // namespace brell
