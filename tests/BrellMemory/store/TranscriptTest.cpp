// The timed-text reader and the grouping of cues into chunks.
#include <gtest/gtest.h>

#include <sstream>

#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptError.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

using Transcript::Chunk;
using Transcript::CueStart;

// An expected file lists one cue per line as "startMs endMs text", or an error as
// "error <case> [line]" followed by the error's description on the next line.
TEST(TranscriptTest, ReadsTimedTextFiles) {
    struct Case {
        const char* name;
        const char* input;
        const char* expected;
    } cases[] = {
        {"WebVTT with header, NOTE, STYLE, cue settings, tags and entities", "talk.vtt", "talk.expected"},
        {"SubRip of the same cues with numbers and comma decimals", "talk.srt", "talk.expected"},
        {"timestamps without hours and mixed separators", "hourless.vtt", "hourless.expected"},
        {"empty cues and repeated texts dropped, entities in order", "dropped.vtt", "dropped.expected"},
        {"CRLF line endings", "crlf.srt", "crlf.expected"},
        {"lone CR line endings", "cr.vtt", "cr.expected"},
        {"byte-order mark before the header", "bom.vtt", "bom.expected"},
        {"byte-order mark before the first timing line", "bom-cues.srt", "bom-cues.expected"},
        {"start equal to end", "start-equals-end.vtt", "start-equals-end.expected"},
        {"cue going back in time", "backwards.vtt", "backwards.expected"},
        {"unreadable start time", "unreadable-start.srt", "unreadable-start.expected"},
        {"unreadable end time", "unreadable-end.vtt", "unreadable-end.expected"},
        {"two arrows on a timing line", "two-arrows.vtt", "two-arrows.expected"},
        {"line number after CRLF normalisation", "crlf-error.vtt", "crlf-error.expected"},
        {"line number after lone CR normalisation", "cr-error.vtt", "cr-error.expected"},
        {"only markup and entities", "only-markup.vtt", "only-markup.expected"},
        {"a header and nothing else", "header-only.vtt", "header-only.expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream expected(test::fixture(std::string("transcripts/") + c.expected));
        std::string input = test::fixture(std::string("transcripts/") + c.input);
        std::string word;
        expected >> word;
        if (word == "error") {
            std::string errorCase;
            int line = 0;
            expected >> errorCase;
            if (errorCase != "empty") {
                expected >> line;
            }
            TranscriptError wanted = errorCase == "malformedTimestamp" ? TranscriptError::malformedTimestamp(line)
                                     : errorCase == "nonMonotonic"     ? TranscriptError::nonMonotonic(line)
                                                                       : TranscriptError::empty();
            std::string description;
            std::getline(expected >> std::ws, description);
            try {
                Transcript::parse(input);
                ADD_FAILURE() << "parsed without an error";
            } catch (const TranscriptError& e) {
                EXPECT_EQ(e, wanted);
                EXPECT_EQ(std::string(e.what()), description);
            }
            continue;
        }
        std::vector<Cue> wanted;
        expected.seekg(0);
        for (Cue cue; expected >> cue.startMs >> cue.endMs && std::getline(expected >> std::ws, cue.text);) {
            wanted.push_back(cue);
        }
        ASSERT_FALSE(wanted.empty());
        EXPECT_EQ(Transcript::parse(input), wanted);
    }
}

TEST(TranscriptTest, ErrorsCarryFixedDescriptions) {
    struct Case {
        const char* name;
        TranscriptError error;
        TranscriptError::Case errorCase;
        std::optional<int> line;
        const char* description;
    } cases[] = {
        {"malformed", TranscriptError::malformedTimestamp(12), TranscriptError::Case::malformedTimestamp, 12,
         "Line 12 has a timestamp BRELL can't read."},
        {"backwards", TranscriptError::nonMonotonic(3), TranscriptError::Case::nonMonotonic, 3,
         "Cues go backwards in time near line 3."},
        {"empty", TranscriptError::empty(), TranscriptError::Case::empty, std::nullopt,
         "The file has no timestamped cues."},
        {"too large", TranscriptError::tooLarge(), TranscriptError::Case::tooLarge, std::nullopt,
         "The file is too large (over 2 MB)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.error.errorCase(), c.errorCase);
        EXPECT_EQ(c.error.line(), c.line);
        EXPECT_EQ(std::string(c.error.what()), c.description);
    }
    EXPECT_EQ(TranscriptError::malformedTimestamp(4), TranscriptError::malformedTimestamp(4));
    EXPECT_NE(TranscriptError::malformedTimestamp(4), TranscriptError::malformedTimestamp(5));
    EXPECT_NE(TranscriptError::malformedTimestamp(4), TranscriptError::nonMonotonic(4));
}

TEST(TranscriptTest, SizeLimitIsTwoMillionBytes) {
    std::string cue = "00:01.000 --> 00:02.000\nHello\n";
    std::string exact = cue + std::string(Transcript::maxFileBytes - cue.size(), '\n');
    ASSERT_EQ(exact.size(), 2'000'000u);
    EXPECT_EQ(Transcript::parse(exact).size(), 1u);
    try {
        Transcript::parse(exact + "\n");
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const TranscriptError& e) {
        EXPECT_EQ(e, TranscriptError::tooLarge());
    }
}

TEST(TranscriptTest, ParseTime) {
    struct Case {
        const char* text;
        std::optional<int64_t> ms;
    } cases[] = {
        {"1:02:03,5", 3'723'500},
        {"75:30", 4'530'000},
        {"00:00:01.000", 1000},
        {"\t00:02.25\u3000", 2250}, // horizontal space of any kind around it
        {"00:00.123456", 123},      // only three digits of the fraction count
        {"00:05.7.9", 5700},        // further parts are ignored
        {"00:05.abc", 5000},        // an unreadable fraction reads as no milliseconds
        {"+1:00", 60'000},
        {"1:75:00", std::nullopt}, // minutes below 60 once there are hours
        {"00:60", std::nullopt},
        {"00:..", std::nullopt},
        {"5", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"a:00", std::nullopt},
        {"00: 05", std::nullopt},
        {"-1:00", std::nullopt},
        {"00:-05", std::nullopt}, // a negative field would subtract from the others
        {"00:01.-50", 1000},      // a negative fraction reads as none
        {"153722867280912:00", 9'223'372'036'854'720'000},
        {"153722867280913:00", std::nullopt}, // past the 64-bit range once in milliseconds
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Transcript::parseTime(c.text), c.ms);
    }
}

TEST(TranscriptTest, Clean) {
    struct Case {
        const char* name;
        const char* text;
        const char* cleaned;
    } cases[] = {
        {"voice and class tags", "<v.loud Ann>Hello <c.yellow>there</c></v>", "Hello there"},
        {"inline timestamps", "one<00:00:01.500> two<00:00:02.000> three", "one two three"},
        {"entities", "Tom &amp; Jerry&#39;s &quot;show&quot; &gt; all", "Tom & Jerry's \"show\" > all"},
        {"an escaped entity ends as its character", "a &amp;lt; b", "a < b"},
        {"non-breaking spaces collapse", "x&nbsp;&nbsp;y", "x y"},
        {"white space of every kind", "  many\n\t spaces\u2028and\u00a0lines  ", "many spaces and lines"},
        {"brackets that are not tags", "1 <> 2 < 3", "1 <> 2 < 3"},
        {"a tag spans up to the first closing bracket", "a < b > c", "a c"},
        {"only a tag", "<b>", ""},
        {"ill-formed UTF-8 is replaced", "caf\xE9 noir", "caf\uFFFD noir"},
        {"escape and bell controls are dropped",
         "Alpha\x1B[2J\x07"
         "Beta",
         "Alpha[2JBeta"},
        {"vertical tab and form feed still separate words", "one\vtwo\fthree", "one two three"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Transcript::clean(c.text), c.cleaned);
    }
    // A NUL goes and the words after it stay.
    EXPECT_EQ(Transcript::clean(std::string("Alpha\0Beta gamma", 16)), "AlphaBeta gamma");
}

std::vector<Cue> everyFiveSeconds(int count, const std::string& text) {
    std::vector<Cue> cues;
    for (int k = 0; k < count; ++k) {
        cues.push_back(Cue{k * 5000, k * 5000 + 5000, text});
    }
    return cues;
}

std::vector<std::size_t> cueCounts(const std::vector<Chunk>& chunks) {
    std::vector<std::size_t> counts;
    for (const auto& chunk : chunks) {
        counts.push_back(chunk.cues.size());
    }
    return counts;
}

TEST(TranscriptTest, ChunksFollowTheSpanLimits) {
    auto chunks = Transcript::chunks(everyFiveSeconds(21, "word"), 20000, 60000, 1600);
    // The first chunk takes every cue ending by 60 s; the next opens at 60 s.
    EXPECT_EQ(cueCounts(chunks), (std::vector<std::size_t>{12, 9}));
    EXPECT_EQ(chunks[0].startMs, 0);
    EXPECT_EQ(chunks[0].endMs, 60000);
    EXPECT_EQ(chunks[1].startMs, 60000);
    EXPECT_EQ(chunks[1].endMs, 105000);

    struct Case {
        const char* name;
        Cue second;
        std::size_t chunkCount;
    } cases[] = {
        {"starts before the minimum: joins however long", {19999, 500000, "b"}, 1},
        {"starts at the minimum and ends past the maximum", {20000, 60001, "b"}, 2},
        {"older than the minimum but ends at the maximum", {30000, 60000, "b"}, 1},
        {"older than the minimum and ends past the maximum", {30000, 60001, "b"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = Transcript::chunks({Cue{0, 1000, "a"}, c.second}, 20000, 60000, 1600);
        EXPECT_EQ(result.size(), c.chunkCount);
    }
    EXPECT_TRUE(Transcript::chunks({}, 20000, 60000, 1600).empty());
}

TEST(TranscriptTest, ChunksCountUserPerceivedCharacters) {
    // "é" as e + combining acute: one character, three bytes.
    auto letters = [](std::size_t n) {
        std::string s;
        for (std::size_t k = 0; k < n; ++k) {
            s += "e\u0301";
        }
        return s;
    };
    struct Case {
        const char* name;
        std::size_t first;
        std::size_t second;
        std::size_t chunkCount;
    } cases[] = {
        {"exactly the limit, the space not counted", 1000, 600, 1},
        {"one character over", 1000, 601, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = Transcript::chunks({Cue{0, 1000, letters(c.first)}, Cue{1000, 2000, letters(c.second)}}, 20000,
                                         60000, 1600);
        EXPECT_EQ(result.size(), c.chunkCount);
    }
    // A single cue longer than the limit still makes a chunk of its own.
    auto huge = Transcript::chunks({Cue{0, 1000, letters(2000)}, Cue{1000, 2000, "x"}}, 20000, 60000, 1600);
    EXPECT_EQ(cueCounts(huge), (std::vector<std::size_t>{1, 1}));
}

TEST(TranscriptTest, ChunkTextAndCueOffsets) {
    auto chunks = Transcript::chunks(
        {Cue{61000, 64000, "naïve café"}, Cue{64500, 66000, "👍🏽 ok"}, Cue{66000, 70000, "end"}}, 20000, 60000,
        1600);
    ASSERT_EQ(chunks.size(), 1u);
    Chunk wanted{
        61000, 70000, "naïve café 👍🏽 ok end", {CueStart{0, 61000}, CueStart{11, 64500}, CueStart{16, 66000}}};
    EXPECT_EQ(chunks[0], wanted);
    EXPECT_EQ(Transcript::locator(chunks[0].startMs), "t=61");
    EXPECT_EQ(Transcript::locator(61999), "t=61");
    EXPECT_EQ(Transcript::cuesJSON(chunks[0].cues), "[[0,61000],[11,64500],[16,66000]]");
    EXPECT_EQ(Transcript::cuesJSON({}), "[]");
}

} // namespace
} // namespace brell
