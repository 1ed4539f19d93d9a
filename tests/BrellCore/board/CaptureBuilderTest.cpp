#include "BrellCore/board/CaptureBuilder.h"

#include <set>

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"

namespace brell {
namespace {

using Case = CaptureBuilder::Outcome::Case;

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

const std::string tooLong = "That selection is over 8,000 characters. Select a shorter passage.";

} // namespace

TEST(CaptureBuilderTest, BuildsQuotesLinksAndPagesOrSaysWhyNot) {
    const SourceRef page = test::pageSource("Field Notes", "https://example.org/a/b");
    SourceRef redactedPage = page;
    redactedPage.redacted = true;
    SourceRef noAddress{"Untitled", std::nullopt, "TextEdit", "com.apple.TextEdit", false};

    struct Expected {
        CaptureKind kind;
        std::optional<std::string> text;
        std::optional<std::string> targetURL;
        std::optional<std::string> targetTitle;
        SourceRef source;
    };
    struct Row {
        const char* name;
        std::optional<std::string> selection;
        SourceRef source;
        Case outcome;
        std::optional<Expected> capture; // for Case::capture
        std::string message;             // otherwise
    } rows[] = {
        {"a quote is kept as selected", std::string("  a passage\n"), page, Case::capture,
         Expected{CaptureKind::quote, "  a passage\n", std::nullopt, std::nullopt, page}, ""},
        {"exactly 8000 characters", repeated("a", 8000), page, Case::capture,
         Expected{CaptureKind::quote, repeated("a", 8000), std::nullopt, std::nullopt, page}, ""},
        {"8001 characters", repeated("a", 8001), page, Case::rejected, std::nullopt, tooLong},
        {"8000 accented letters of two code points", repeated("e\u0301", 8000), page, Case::capture,
         Expected{CaptureKind::quote, repeated("e\u0301", 8000), std::nullopt, std::nullopt, page}, ""},
        {"8001 emoji", repeated("\U0001F44D\U0001F3FD", 8001), page, Case::rejected, std::nullopt, tooLong},
        {"outer white space does not count", " \n" + repeated("a", 8000) + "\n\n ", page, Case::capture,
         Expected{CaptureKind::quote, " \n" + repeated("a", 8000) + "\n\n ", std::nullopt, std::nullopt, page}, ""},
        {"a single address becomes a link", std::string("  https://other.example/story?utm_source=x \n"), page,
         Case::capture, Expected{CaptureKind::url, std::nullopt, "https://other.example/story", std::nullopt, page},
         ""},
        {"a secret in the address marks the source", std::string("HTTPS://other.example/?token=s3cret"), page,
         Case::capture, Expected{CaptureKind::url, std::nullopt, "https://other.example/", std::nullopt, redactedPage},
         ""},
        {"an already redacted source stays so", std::string("https://other.example/"), redactedPage, Case::capture,
         Expected{CaptureKind::url, std::nullopt, "https://other.example/", std::nullopt, redactedPage}, ""},
        {"an address and a word stay a quote", std::string("https://other.example/ story"), page, Case::capture,
         Expected{CaptureKind::quote, "https://other.example/ story", std::nullopt, std::nullopt, page}, ""},
        {"nothing selected on a page captures the page", std::string(" \n\t"), page, Case::capture,
         Expected{CaptureKind::url, std::nullopt, "https://example.org/a/b", "Field Notes", page}, ""},
        {"no selection at all on a page", std::nullopt, page, Case::capture,
         Expected{CaptureKind::url, std::nullopt, "https://example.org/a/b", "Field Notes", page}, ""},
        {"nothing selected and no page address", std::nullopt, noAddress, Case::empty, std::nullopt,
         "Nothing is selected, and TextEdit doesn't share a page address. Select some text first."},
        {"white space only and no page address", std::string("\u2029 "), SourceRef::clipboard(), Case::empty,
         std::nullopt, "Nothing is selected, and Clipboard doesn't share a page address. Select some text first."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto outcome = CaptureBuilder::build(r.selection, r.source, test::march1);
        ASSERT_EQ(outcome.kind, r.outcome);
        if (r.outcome != Case::capture) {
            EXPECT_FALSE(outcome.capture);
            EXPECT_EQ(outcome.message, r.message);
            continue;
        }
        ASSERT_TRUE(outcome.capture);
        const Capture& capture = *outcome.capture;
        EXPECT_EQ(capture.version, 1);
        EXPECT_EQ(capture.kind, r.capture->kind);
        EXPECT_EQ(capture.text, r.capture->text);
        EXPECT_EQ(capture.targetURL, r.capture->targetURL);
        EXPECT_EQ(capture.targetTitle, r.capture->targetTitle);
        EXPECT_EQ(capture.source, r.capture->source);
        EXPECT_EQ(capture.capturedAt, test::march1);
        EXPECT_NE(capture.id, UUID());
    }
}

TEST(CaptureBuilderTest, EveryCaptureGetsItsOwnId) {
    std::set<UUID> ids;
    for (int i = 0; i < 50; ++i) {
        ids.insert(CaptureBuilder::build(std::string("same words"), test::pageSource(), test::march1).capture->id);
    }
    EXPECT_EQ(ids.size(), 50u);
}

TEST(CaptureBuilderTest, RecognisesASelectionThatIsOneWebAddress) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<URLSafety::Result> result;
    } cases[] = {
        {"https", "https://example.org/a", URLSafety::Result{"https://example.org/a", false}},
        {"scheme in capitals", "HtTp://example.org/", URLSafety::Result{"http://example.org/", false}},
        {"credentials removed", "https://me:pw@example.org/", URLSafety::Result{"https://example.org/", true}},
        {"space inside", "https://example.org/a b", std::nullopt},
        {"tab at the end", "https://example.org/\t", std::nullopt},
        {"next line", "https://example.org/\u0085", std::nullopt},
        {"line separator", "https://example.org/\u2028x", std::nullopt},
        {"paragraph separator", "https://example.org/\u2029", std::nullopt},
        {"vertical tab", "https://example.org/\v", std::nullopt},
        {"no-break space", "https://example.org/\u00A0x", std::nullopt},
        {"no scheme", "example.org/a", std::nullopt},
        {"another scheme", "ftp://example.org/", std::nullopt},
        {"file", "file:///tmp/x", std::nullopt},
        {"scheme only", "https://", std::nullopt},
        {"words", "hello", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CaptureBuilder::selectedURL(c.text), c.result);
    }
}

} // namespace brell
