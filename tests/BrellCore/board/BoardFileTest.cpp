#include "BrellCore/board/BoardFile.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardJson.h"
#include "BrellCore/board/BoardSamples.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

// One card of every kind the board holds, with every optional field both present and
// absent somewhere.
std::vector<Card> everyKind() {
    SourceRef redacted{"Sign-in help", "https://accounts.example.com/help?x=1", "Google Chrome", "com.google.Chrome",
                       true};
    Capture quote = test::quoteCapture("  “Exact” words,\nover two lines / with a slash\t", test::march1 + 0.25);
    Capture explained(test::sampleID(102), CaptureKind::quote, "Zürich — 東京", std::nullopt, std::nullopt, redacted,
                      test::march1 + 60.5);
    Capture page(test::sampleID(103), CaptureKind::url, std::nullopt, "https://example.org/a/b", "Field Notes",
                 test::pageSource(), test::march1 + 120.001);
    Capture found(test::sampleID(104), CaptureKind::url, std::nullopt, "http://other.example/x", std::nullopt,
                  SourceRef::clipboard(), test::march1 + 180.999);
    Note ai{Note::Mode::ai, "It says the \"claim\" holds.", "Only one source.", "Claude · claude-sonnet",
            test::march1 + 61};
    Note manual{Note::Mode::manual, "Read later", std::nullopt, std::nullopt, test::march1 + 200.75};
    return {
        Card(quote, Lane::evidence, std::nullopt, test::sampleID(1), test::march1 + 0.25, std::nullopt),
        Card(explained, Lane::notes, ai, test::sampleID(2), test::march1 + 300.125, false),
        Card(page, Lane::links, std::nullopt, test::sampleID(3), test::march1 + 120.001, true),
        Card(found, Lane::links, manual, test::sampleID(4), test::march1 + 400, std::nullopt),
    };
}

void expectDecodeError(std::string_view text, const std::string& message) {
    try {
        BoardFile::parse(text);
        ADD_FAILURE() << "parsed";
    } catch (const BoardJson::DecodeError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(BoardFileTest, EveryKindOfCardRoundTripsThroughTheText) {
    BoardFile board{1, everyKind()};
    EXPECT_EQ(BoardFile::parse(board.text()), board);
}

TEST(BoardFileTest, WritesTheDocumentedText) {
    // Sorted keys, two-space indentation, "\/" for slashes, millisecond UTC dates,
    // upper-case ids, optional keys only when present.
    std::string text = BoardFile{1, everyKind()}.text();
    EXPECT_EQ(text, test::fixture("board/written.json"));
    EXPECT_EQ(BoardFile::parse(test::fixture("board/written.json")).cards, everyKind());
}

TEST(BoardFileTest, ReadsABoardWrittenByHand) {
    // Unescaped slashes, lower-case ids, dates without fractions or with an offset,
    // keys in any order, unknown keys and explicit nulls.
    BoardFile board = BoardFile::parse(test::fixture("board/handwritten.json"));
    EXPECT_EQ(board.version, 1);
    ASSERT_EQ(board.cards.size(), 3u);

    const Card& quote = board.cards[0];
    EXPECT_EQ(quote.id.text(), "6F1D2C3B-4A59-4E6F-8A7B-9C0D1E2F3A4B");
    EXPECT_EQ(quote.lane, Lane::evidence);
    EXPECT_EQ(quote.capture.kind, CaptureKind::quote);
    EXPECT_EQ(quote.capture.text, "Memory is the diary we all carry about with us.");
    EXPECT_EQ(quote.capture.source,
              (SourceRef{"Quotes / Wilde", "https://example.org/quotes/wilde", "Safari", "com.apple.Safari", false}));
    EXPECT_EQ(quote.capture.capturedAt, test::march1);
    EXPECT_EQ(quote.updatedAt, test::march1 + 3600);
    EXPECT_FALSE(quote.note);
    EXPECT_FALSE(quote.hiddenFromAssistants);

    const Card& noted = board.cards[1];
    EXPECT_EQ(noted.lane, Lane::notes);
    ASSERT_TRUE(noted.note);
    EXPECT_EQ(*noted.note,
              (Note{Note::Mode::ai, "A claim about memory.", "Paraphrased.", "OpenAI · gpt-5", test::march1 + 0.5}));
    EXPECT_EQ(noted.capture.source, SourceRef::clipboard());
    EXPECT_EQ(noted.hiddenFromAssistants, true);

    const Card& link = board.cards[2];
    EXPECT_EQ(link.lane, Lane::links);
    EXPECT_EQ(link.capture.kind, CaptureKind::url);
    EXPECT_TRUE(link.capture.isPageItself());
    EXPECT_EQ(link.capture.targetTitle, std::nullopt);
    EXPECT_EQ(link.capture.version, 1);
    EXPECT_EQ(link.hiddenFromAssistants, false);
}

TEST(BoardFileTest, TopLevelRules) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> error; // none: reads as an empty board
    } cases[] = {
        {"empty board", R"({"cards":[],"version":1})", std::nullopt},
        {"other version read, not checked", R"({"version":7,"cards":[]})", std::nullopt},
        {"unknown keys ignored", R"({"version":1,"cards":[],"exportedBy":"someone"})", std::nullopt},
        {"no version", R"({"cards":[]})", "missing key version"},
        {"no cards", R"({"version":1})", "missing key cards"},
        {"version as text", R"({"version":"1","cards":[]})", "wrong type at version: expected an integer"},
        {"cards not a list", R"({"version":1,"cards":{}})", "wrong type at cards: expected an array"},
        {"a list at the top", R"([])", "wrong type at the top level: expected an object"},
        {"not JSON", "board", "the board is not valid JSON"},
        {"empty file", "", "the board is not valid JSON"},
        {"a bad card names its place", R"({"version":1,"cards":[7]})", "wrong type at cards[0]: expected an object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.error) {
            expectDecodeError(c.text, *c.error);
        } else {
            EXPECT_TRUE(BoardFile::parse(c.text).cards.empty());
        }
    }
}

TEST(BoardFileTest, EveryTruncationOfABoardFailsToRead) {
    std::string text = BoardFile{1, everyKind()}.text();
    // Cutting the text anywhere before its final brace leaves no valid board.
    std::size_t end = text.rfind('}');
    for (std::size_t size = 0; size < end; size += 7) {
        SCOPED_TRACE(size);
        EXPECT_THROW(BoardFile::parse(std::string_view(text).substr(0, size)), BoardJson::DecodeError);
    }
}

TEST(BoardFileTest, IllFormedTextIsWrittenAsReplacementCharacters) {
    std::vector<Card> cards{test::cardOf(test::quoteCapture("bad \xff byte"), Lane::evidence)};
    BoardFile read = BoardFile::parse(BoardFile{1, cards}.text());
    EXPECT_EQ(read.cards.at(0).capture.text, "bad \xEF\xBF\xBD byte");
}

} // namespace brell
