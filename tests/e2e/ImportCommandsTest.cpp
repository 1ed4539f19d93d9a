// The brell application's import commands, run as a user would on a fresh memory.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* watchURL = "https://www.youtube.com/watch?v=abcdefghijk";

class ImportCommandsTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("fresh/Memory.sqlite");

    test::ProcessResult brell(std::vector<std::string> args) {
        return test::brell(std::move(args), {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}});
    }

    std::string file(const std::string& name, const std::string& text) {
        FileSystem::writeAtomically(tmp.file(name), text);
        return tmp.file(name);
    }

    int64_t rows(const std::string& sql) {
        MemoryStore store(db);
        return store.db.one(sql)->integer("n");
    }
};

TEST_F(ImportCommandsTest, TranscriptForAVideoMemoryDoesNotKnowYet) {
    std::string vtt = test::fixturePath("transcripts/talk.vtt");
    auto first =
        brell({"import", "transcript", vtt, "--video", "https://youtu.be/abcdefghijk", "--title", " Tide  talk "});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(first.out, std::string("Added the video ") + watchURL +
                             " to memory as \"Tide talk\".\n"
                             "Imported 3 cues as 2 transcript chunks for \"Tide talk\".\n");
    EXPECT_EQ(first.err, "");

    {
        MemoryStore store(db);
        auto source = store.source(std::string_view("youtube:abcdefghijk"));
        ASSERT_TRUE(source);
        EXPECT_EQ(source->kind, "video");
        EXPECT_EQ(source->url, watchURL);
        EXPECT_EQ(source->origin, "https://www.youtube.com");
        EXPECT_EQ(source->transcriptStatus, "imported");
        EXPECT_GT(source->firstSeen, 0);
        EXPECT_EQ(source->firstSeen, source->lastSeen);
        auto chunks = store.chunks(source->id, std::string("transcript"));
        ASSERT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].text, "Welcome to the tide talk. Tides rise and fall twice a day.");
        EXPECT_EQ(chunks[0].provenance, "imported");
        EXPECT_EQ(chunks[1].locator, "t=62");
        EXPECT_EQ(store.meta("transcript_hash:" + std::to_string(source->id)),
                  MemoryStore::sha(test::fixture("transcripts/talk.vtt")));
    }

    auto again = brell({"import", "transcript", vtt, "--video", watchURL, "--title", "Ignored"});
    ASSERT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(again.out, "This transcript is already in memory for \"Tide talk\"; nothing changed.\n");

    // Another file for the same video replaces the transcript; the title stays.
    auto other = brell({"import", "transcript", test::fixturePath("transcripts/talk.srt"), "--video", watchURL});
    ASSERT_EQ(other.exitStatus, 0) << other.err;
    EXPECT_EQ(other.out, "Imported 3 cues as 2 transcript chunks for \"Tide talk\".\n");
    EXPECT_EQ(rows("SELECT count(*) AS n FROM source"), 1);
}

TEST_F(ImportCommandsTest, RefusalsLeaveMemoryEmpty) {
    std::string good = test::fixturePath("transcripts/talk.vtt");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exit;
        std::string err;
    } cases[] = {
        {"an address that is not a video page",
         {"import", "transcript", good, "--video", "https://example.com/talk"},
         1,
         "brell: \"https://example.com/talk\" is not a YouTube video page; give the video's address with --video, "
         "for example https://www.youtube.com/watch?v=dQw4w9WgXcQ.\n"},
        {"a YouTube page that is not a video",
         {"import", "comments", good, "--video", "https://www.youtube.com/feed/subscriptions"},
         1,
         "brell: \"https://www.youtube.com/feed/subscriptions\" is not a YouTube video page; give the video's "
         "address with --video, for example https://www.youtube.com/watch?v=dQw4w9WgXcQ.\n"},
        {"a file BRELL can't read",
         {"import", "transcript", test::fixturePath("transcripts/backwards.vtt"), "--video", watchURL},
         1,
         "brell: Cues go backwards in time near line 6.\n"},
        {"a file without cues",
         {"import", "transcript", test::fixturePath("transcripts/header-only.vtt"), "--video", watchURL},
         1,
         "brell: The file has no timestamped cues.\n"},
        {"a missing file",
         {"import", "transcript", tmp.file("none.vtt"), "--video", watchURL},
         1,
         "brell: there is no file at " + tmp.file("none.vtt") + ".\n"},
        {"a comment file of another shape",
         {"import", "comments", file("object.json", R"({"comments": []})"), "--video", watchURL},
         1,
         "brell: " + tmp.file("object.json") +
             " is not a comment list: it must be a JSON array of objects, each with a string \"id\" and a string "
             "\"text\".\n"},
        {"a comment without an id",
         {"import", "comments", file("noid.json", R"([{"id": "a", "text": "x"}, {"text": "y"}])"), "--video", watchURL},
         1,
         "brell: comment 2 in " + tmp.file("noid.json") +
             " needs a string \"id\" that is not empty and a string \"text\".\n"},
        {"only empty comments",
         {"import", "comments", file("blank.json", R"([{"id": "a", "text": "  "}])"), "--video", watchURL},
         1,
         "brell: " + tmp.file("blank.json") + " holds no comments to import.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, c.exit);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(rows("SELECT count(*) AS n FROM source"), 0);

    auto usage = brell({"import", "transcript", good});
    EXPECT_EQ(usage.exitStatus, 2);
    EXPECT_NE(usage.err.find("--video"), std::string::npos) << usage.err;
}

TEST_F(ImportCommandsTest, Comments) {
    std::string list = file("comments.json", R"([
        {"id": "UgxQ1", "text": "The part at 12:30 is the key.", "author": "Ann"},
        {"id": "UgxQ2", "text": "Slides are linked below."},
        {"id": "UgxQ3", "text": ""}
    ])");
    auto first = brell({"import", "comments", list, "--video", watchURL});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(first.out, std::string("Added the video ") + watchURL +
                             " to memory as \"YouTube video\".\n"
                             "Imported 2 comments for \"YouTube video\"; 1 empty comment skipped.\n");

    std::string edited = file("edited.json", R"([
        {"id": "UgxQ1", "text": "The part at 12:30 is the key."},
        {"id": "UgxQ2", "text": "Slides are linked in the description."}
    ])");
    auto second = brell({"import", "comments", edited, "--video", watchURL});
    ASSERT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(second.out, "Imported 1 comment for \"YouTube video\"; 1 already in memory.\n");

    MemoryStore store(db);
    auto source = store.source(std::string_view("youtube:abcdefghijk"));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->commentsStatus, "fetched");
    EXPECT_EQ(source->transcriptStatus, "none");
    auto comments = store.chunks(source->id, std::string("comment"));
    ASSERT_EQ(comments.size(), 3u);
    EXPECT_EQ(comments[0].locator, "c:UgxQ1");
    EXPECT_EQ(comments[0].provenance, "imported");
}

TEST_F(ImportCommandsTest, HelpStatesTheCommentFileShape) {
    auto help = brell({"import", "comments", "--help"});
    ASSERT_EQ(help.exitStatus, 0) << help.err;
    EXPECT_NE(help.out.find("JSON array with one object per comment, each with a string \"id\""), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find(R"({"id": "UgxQ1", "text": "The part at 12:30 is the key."})"), std::string::npos);
}

} // namespace
} // namespace brell
