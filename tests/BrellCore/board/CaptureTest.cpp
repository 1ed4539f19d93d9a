#include "BrellCore/board/Capture.h"

#include <unordered_set>

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"

namespace brell {

TEST(CaptureTest, LanesAcceptQuotesOrLinksAndSayWhyNot) {
    struct Case {
        const char* name;
        CaptureKind kind;
        Lane lane;
        std::optional<std::string> reason; // none: accepted
    } cases[] = {
        {"quote in links", CaptureKind::quote, Lane::links, "For pages and links. Clear the selection first."},
        {"quote in notes", CaptureKind::quote, Lane::notes, std::nullopt},
        {"quote in evidence", CaptureKind::quote, Lane::evidence, std::nullopt},
        {"url in links", CaptureKind::url, Lane::links, std::nullopt},
        {"url in notes", CaptureKind::url, Lane::notes, "Needs selected text."},
        {"url in evidence", CaptureKind::url, Lane::evidence, "Needs selected text."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Capture capture =
            c.kind == CaptureKind::quote ? test::quoteCapture("words") : test::linkCapture("https://x.org/");
        EXPECT_EQ(capture.accepts(c.lane), !c.reason.has_value());
        EXPECT_EQ(capture.unavailableReason(c.lane), c.reason);
    }
}

TEST(CaptureTest, PageItselfMeansTheTargetIsTheSourcePage) {
    struct Case {
        const char* name;
        CaptureKind kind;
        std::optional<std::string> target;
        std::optional<std::string> sourceURL;
        bool pageItself;
    } cases[] = {
        {"same address", CaptureKind::url, "https://a.org/p", "https://a.org/p", true},
        {"both absent", CaptureKind::url, std::nullopt, std::nullopt, true},
        {"link found on the page", CaptureKind::url, "https://b.org/", "https://a.org/p", false},
        {"target absent", CaptureKind::url, std::nullopt, "https://a.org/p", false},
        {"source absent", CaptureKind::url, "https://a.org/p", std::nullopt, false},
        {"a quote never is", CaptureKind::quote, std::nullopt, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SourceRef source = test::pageSource();
        source.url = c.sourceURL;
        Capture capture(test::sampleID(1), c.kind, std::nullopt, c.target, std::nullopt, source, test::march1);
        EXPECT_EQ(capture.isPageItself(), c.pageItself);
    }
}

TEST(CaptureTest, LacksWebSourceUnlessTheSourceIsAnHttpAddress) {
    struct Case {
        const char* name;
        std::optional<std::string> url;
        bool lacks;
    } cases[] = {
        {"no address", std::nullopt, true},
        {"https", "https://example.org/a", false},
        {"scheme in capitals", "HTTP://example.org/", false},
        {"ftp", "ftp://example.org/file", true},
        {"file", "file:///Users/me/notes.txt", true},
        {"no scheme", "example.org/a", true},
        {"words", "not an address at all", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SourceRef source = test::pageSource();
        source.url = c.url;
        EXPECT_EQ(test::quoteCapture("q", test::march1, source).lacksWebSource(), c.lacks);
    }
}

TEST(CaptureTest, AttachingAnAddressChangesOnlyTheSource) {
    struct Case {
        const char* name;
        SourceRef source;
        std::string address;
        std::optional<SourceRef> expected; // none: refused
    } cases[] = {
        {"ftp is refused", SourceRef::clipboard(), "ftp://example.org/file", std::nullopt},
        {"words are refused", SourceRef::clipboard(), "read this later", std::nullopt},
        {"file is refused", SourceRef::clipboard(), "file:///tmp/a.txt", std::nullopt},
        {"clipboard takes the display host as title", SourceRef::clipboard(),
         "  https://www.Example.org/story?utm_source=feed  ",
         SourceRef{"example.org", "https://www.Example.org/story", "Clipboard", std::nullopt, false}},
        {"a secret removed marks it redacted", SourceRef::clipboard(), "https://example.org/cb?token=abc&x=1",
         SourceRef{"example.org", "https://example.org/cb?x=1", "Clipboard", std::nullopt, true}},
        {"an app's title is kept", SourceRef{"My notes", std::nullopt, "Notes", "com.apple.Notes", false},
         "http://example.org/", SourceRef{"My notes", "http://example.org/", "Notes", "com.apple.Notes", false}},
        {"an empty title takes the host", SourceRef{"", std::nullopt, "Notes", std::nullopt, false},
         "https://news.example.org/a",
         SourceRef{"news.example.org", "https://news.example.org/a", "Notes", std::nullopt, false}},
        {"already redacted stays redacted", SourceRef{"Mail", "https://old.example/", "Mail", std::nullopt, true},
         "https://example.org/", SourceRef{"Mail", "https://example.org/", "Mail", std::nullopt, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Capture original = test::quoteCapture("  the passage ", test::march1, c.source);
        auto attached = original.withSourceAddress(c.address);
        if (!c.expected) {
            EXPECT_FALSE(attached);
            continue;
        }
        ASSERT_TRUE(attached);
        EXPECT_EQ(attached->source, *c.expected);
        Capture expected = original;
        expected.source = *c.expected;
        EXPECT_EQ(*attached, expected); // id, kind, text, targets and date untouched
    }
}

TEST(CaptureTest, TrimmedTextDropsOuterWhiteSpaceOnly) {
    EXPECT_EQ(test::quoteCapture("\n  two  words\t\r\n").trimmedText(), "two  words");
    EXPECT_EQ(test::linkCapture("https://a.org/").trimmedText(), "");
}

TEST(CaptureTest, EqualityAndHashCoverEveryField) {
    Capture base = test::linkCapture("https://a.org/", "A");
    std::vector<Capture> variants(7, base);
    variants[0].id = test::sampleID(7);
    variants[1].version = 2;
    variants[2].text = "";
    variants[3].targetURL = std::nullopt;
    variants[4].targetTitle = std::nullopt;
    variants[5].source.redacted = true;
    variants[6].capturedAt += 0.001;
    std::unordered_set<Capture> all{base};
    for (const auto& variant : variants) {
        EXPECT_NE(variant, base);
        all.insert(variant);
    }
    EXPECT_EQ(all.size(), variants.size() + 1);
    EXPECT_EQ(all.count(test::linkCapture("https://a.org/", "A")), 1u);
}

} // namespace brell
