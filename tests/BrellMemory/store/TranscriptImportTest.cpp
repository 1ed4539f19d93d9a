// Importing transcript files and comment lists into a store.
#include <gtest/gtest.h>

#include <algorithm>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptError.h"
#include "BrellMemory/store/TranscriptRows.h"
#include "support/TestSupport.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* twoCues =
    "WEBVTT\n\n01:01.000 --> 01:04.000\nfirst words\n\n01:04.500 --> 01:06.000\nlater words\n";
constexpr const char* otherCues = "WEBVTT\n\n00:10.000 --> 00:12.000\nnew words\n";

// A video (1) and an article (2), with a clock the test moves.
class TranscriptImportTest : public ::testing::Test {
protected:
    Date clock = 1000;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};

    void SetUp() override {
        store.db.exec("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                      "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Talk', "
                      "'https://www.youtube.com', 1, 5),"
                      "(2, 'article:https://example.com/a', 'article', 'https://example.com/a', 'Essay', "
                      "'https://example.com', 1, 9);");
    }

    std::string status(const char* column = "transcript_status") {
        return store.db.one(std::string("SELECT ") + column + " AS v FROM source WHERE id = 1")->text("v");
    }

    int64_t count(const char* kind) {
        return store.db.one("SELECT count(*) AS n FROM chunk WHERE source_id = 1 AND kind = ?", {Value(kind)})
            ->integer("n");
    }

    // An insight whose evidence is chunk `chunkID`; returns the insight id.
    int64_t insightCiting(int64_t chunkID) {
        store.db.exec(
            "INSERT OR IGNORE INTO project(id, name, created_at) VALUES (1, 'Tides', 1);"
            "INSERT OR IGNORE INTO project_task(id, project_id, title, updated_at) VALUES (1, 1, 'Read', 1);");
        store.db.run("INSERT INTO insight(project_id, task_id, task_revision, fingerprint, action_signature, "
                     "evidence_hash, relationship, title, why_now, next_step, origin, score, score_detail, eligible, "
                     "consent_epoch, created_at) VALUES (1, 1, 1, ?, 'a', 'h', 'r', 't', 'w', 'n', 'template', 0.9, "
                     "'{}', 1, 1, 1)",
                     {Value("f" + std::to_string(chunkID))});
        int64_t id = store.db.lastInsertID();
        store.db.run("INSERT INTO insight_evidence(insight_id, chunk_id, role) VALUES (?, ?, 'support')",
                     {Value(id), Value(chunkID)});
        return id;
    }

    std::string insightStatus(int64_t id) {
        auto row = store.db.one("SELECT status, eligible, hold_reason FROM insight WHERE id = ?", {Value(id)});
        return row->text("status") + "/" + std::to_string(row->integer("eligible")) + "/" +
               row->optText("hold_reason").value_or("-");
    }
};

TEST_F(TranscriptImportTest, StoresChunksWithTheirStoredForm) {
    EXPECT_EQ(store.importTranscript(1, twoCues, "imported"), 1);
    auto chunks = store.chunks(1, std::string("transcript"));
    ASSERT_EQ(chunks.size(), 1u);
    const ChunkRecord& c = chunks[0];
    EXPECT_EQ(c.text, "first words later words");
    EXPECT_EQ(c.locator, "t=61");
    EXPECT_EQ(c.startMs, 61000);
    EXPECT_EQ(c.endMs, 66000);
    EXPECT_EQ(c.cues, (std::vector<std::vector<int64_t>>{{0, 61000}, {12, 64500}}));
    EXPECT_EQ(c.retrievedAt, 1000);
    EXPECT_EQ(c.contentHash, MemoryStore::sha("first words later words"));
    EXPECT_EQ(c.provenance, "imported");
    EXPECT_EQ(c.heading, std::nullopt);
    EXPECT_EQ(store.db.one("SELECT cues FROM chunk WHERE id = ?", {Value(c.id)})->text("cues"),
              "[[0,61000],[12,64500]]");
    EXPECT_EQ(c.passage(int64_t{64500}, 100), "later words");
    EXPECT_EQ(status(), "imported");
    EXPECT_EQ(store.meta("transcript_hash:1"), MemoryStore::sha(twoCues));
}

TEST_F(TranscriptImportTest, StatusFollowsProvenance) {
    struct Case {
        const char* provenance;
        const char* status;
    } cases[] = {{"fixture", "fixture"}, {"api", "imported"}, {"imported", "imported"}};
    const char* files[] = {twoCues, otherCues, twoCues};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].provenance);
        EXPECT_EQ(store.importTranscript(1, files[k], cases[k].provenance), 1);
        EXPECT_EQ(status(), cases[k].status);
        EXPECT_EQ(store.chunks(1, std::string("transcript")).at(0).provenance, cases[k].provenance);
    }
}

TEST_F(TranscriptImportTest, TheSameFileTwiceStoresOnce) {
    ASSERT_EQ(store.importTranscript(1, twoCues, "imported"), 1);
    clock = 2000;
    EXPECT_EQ(store.importTranscript(1, twoCues, "imported"), 0);
    auto chunks = store.chunks(1, std::string("transcript"));
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].retrievedAt, 1000);
}

TEST_F(TranscriptImportTest, ADifferentFileReplacesEveryTranscriptChunk) {
    store.db.exec("INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, retrieved_at, content_hash, "
                  "provenance) VALUES (50, 1, 'transcript', 'captured words', 't=0', 0, 5000, 1, 'h', 'captured'),"
                  "(51, 1, 'metadata', 'Talk', 'title', NULL, NULL, 1, 'h2', 'captured'),"
                  "(52, 2, 'article', 'Essay text', 'p1', NULL, NULL, 1, 'h3', 'captured');"
                  "UPDATE source SET transcript_status = 'captured' WHERE id = 1;");
    int64_t stale = insightCiting(50);
    int64_t untouched = insightCiting(52);
    ASSERT_EQ(store.importTranscript(1, twoCues, "imported"), 1);
    clock = 3000;
    ASSERT_EQ(store.importTranscript(1, otherCues, "imported"), 1);
    auto chunks = store.chunks(1, std::string("transcript"));
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].text, "new words");
    EXPECT_EQ(chunks[0].retrievedAt, 3000);
    EXPECT_EQ(count("metadata"), 1);
    EXPECT_EQ(insightStatus(stale), "withdrawn/0/stale");
    EXPECT_EQ(insightStatus(untouched), "new/1/-");
    EXPECT_EQ(store.meta("transcript_hash:1"), MemoryStore::sha(otherCues));
}

TEST_F(TranscriptImportTest, FailuresChangeNothing) {
    ASSERT_EQ(store.importTranscript(1, twoCues, "fixture"), 1);
    auto before = store.chunks(1);
    struct Case {
        const char* name;
        int64_t sourceID;
        const char* file;
        const char* provenance;
        const char* message;
    } cases[] = {
        {"no such source", 9, otherCues, "imported", "The file has no timestamped cues."},
        {"an article", 2, otherCues, "imported", "The file has no timestamped cues."},
        {"an unreadable file", 1, "00:01.000 --> later\nwords\n", "imported",
         "Line 1 has a timestamp BRELL can't read."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            store.importTranscript(c.sourceID, c.file, c.provenance);
            ADD_FAILURE() << "imported";
        } catch (const TranscriptError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    // A provenance the schema refuses is refused before anything changes: the chunk
    // inserts would ignore such rows after the old ones were deleted.
    try {
        store.importTranscript(1, otherCues, "guessed");
        ADD_FAILURE() << "imported";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(std::string(e.what()), "SQLite error 19: unknown chunk provenance 'guessed'");
    }
    // The last statement of the import failing rolls back the deletion of the old
    // chunks, the new chunks and the status.
    store.db.exec("CREATE TEMP TRIGGER refuse_digest BEFORE INSERT ON meta WHEN new.key = 'transcript_hash:1' "
                  "BEGIN SELECT RAISE(ABORT, 'disk on fire'); END;");
    try {
        store.importTranscript(1, otherCues, "imported");
        ADD_FAILURE() << "imported";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_NE(std::string(e.what()).find("disk on fire"), std::string::npos) << e.what();
    }
    EXPECT_EQ(store.chunks(1), before);
    EXPECT_EQ(status(), "fixture");
    EXPECT_EQ(store.meta("transcript_hash:1"), MemoryStore::sha(twoCues));
}

TEST_F(TranscriptImportTest, ADigestLeftByADeletedSourceDoesNotBlockTheImport) {
    ASSERT_EQ(store.importTranscript(1, twoCues, "imported"), 1);
    store.deleteSourceRows(1);
    store.db.exec("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                  "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Talk', "
                  "'https://www.youtube.com', 7, 7);");
    EXPECT_EQ(store.importTranscript(1, twoCues, "imported"), 1);
    EXPECT_EQ(count("transcript"), 1);
}

TEST_F(TranscriptImportTest, ProgressHearsEveryRow) {
    // Cues at 0, 10, 60, 70 and 120 s make three chunks.
    std::string file = "WEBVTT\n\n00:00.000 --> 00:05.000\na\n\n00:10.000 --> 00:15.000\nb\n\n"
                       "01:00.000 --> 01:05.000\nc\n\n01:10.000 --> 01:15.000\nd\n\n02:00.000 --> 02:05.000\ne\n";
    std::vector<std::pair<std::size_t, std::size_t>> heard;
    auto progress = [&](std::size_t done, std::size_t total) { heard.emplace_back(done, total); };
    EXPECT_EQ(store.importTranscript(1, file, "imported", progress), 3);
    EXPECT_EQ(heard, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 3}, {2, 3}, {3, 3}}));
    heard.clear();
    store.importComments(1, {{"a", "x"}, {"b", "y"}}, "imported", progress);
    EXPECT_EQ(heard, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 2}, {2, 2}}));
}

TEST_F(TranscriptImportTest, CapturedRowsShareTheStoredForm) {
    auto chunks = Transcript::chunks({Cue{0, 4000, "one"}, Cue{70000, 74000, "two"}}, 20000, 60000, 1600);
    store.db.transaction([&] {
        TranscriptRows::replace(store, 1, chunks, "captured", [](const Transcript::Chunk& chunk) {
            return chunk.startMs >= 60000 ? std::optional<std::string>("Part two") : std::nullopt;
        });
    });
    auto stored = store.chunks(1, std::string("transcript"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].heading, std::nullopt);
    EXPECT_EQ(stored[1].heading, "Part two");
    EXPECT_EQ(stored[1].locator, "t=70");
    EXPECT_EQ(stored[1].provenance, "captured");
    EXPECT_EQ(TranscriptRows::hashKey(42), "transcript_hash:42");
}

TEST_F(TranscriptImportTest, Comments) {
    std::string longText;
    for (int k = 0; k < 2100; ++k) {
        longText += "u\u0308"; // u + combining diaeresis: one character
    }
    clock = 1500;
    store.importComments(1, {{"Ugx1", "Great talk"}, {"Ugx2", longText}}, "imported");
    auto comments = store.chunks(1, std::string("comment"));
    ASSERT_EQ(comments.size(), 2u);
    EXPECT_EQ(comments[0].locator, "c:Ugx1");
    EXPECT_EQ(comments[0].text, "Great talk");
    EXPECT_EQ(comments[0].startMs, std::nullopt);
    EXPECT_TRUE(comments[0].cues.empty());
    EXPECT_EQ(comments[0].retrievedAt, 1500);
    EXPECT_EQ(comments[0].provenance, "imported");
    EXPECT_EQ(Text::characterCount(comments[1].text), 2000u);
    EXPECT_EQ(comments[1].contentHash, MemoryStore::sha(comments[1].text));
    EXPECT_EQ(status("comments_status"), "fetched");

    // A repeat is a no-op; an edited comment with the same id is a further row.
    store.importComments(1, {{"Ugx1", "Great talk"}, {"Ugx1", "Great talk, thanks"}}, "fixture");
    EXPECT_EQ(count("comment"), 3);
    EXPECT_EQ(status("comments_status"), "fixture");

    EXPECT_THROW(store.importComments(1, {{"Ugx3", "new"}}, "guessed"), SQLiteDB::DBError);
    EXPECT_EQ(count("comment"), 3);

    // A source that does not exist fails on its foreign key and nothing is kept.
    EXPECT_THROW(store.importComments(9, {{"Ugx9", "orphan"}}, "imported"), SQLiteDB::DBError);
    EXPECT_EQ(store.db.one("SELECT count(*) AS n FROM chunk WHERE source_id = 9")->integer("n"), 0);
}

// Control characters mean nothing in cues and comments; a NUL among them must not cut
// the stored text, leaving words that search can never find.
TEST_F(TranscriptImportTest, ControlCharactersAreDroppedAndNothingAfterThemIsLost) {
    const std::string withNul("Alpha\0Beta gamma", 16);
    store.importTranscript(1, "WEBVTT\n\n00:01.000 --> 00:04.000\n" + withNul + "\n", "imported");
    store.importComments(1, {{"Ugx1", withNul + "\x1B[2J delta\nepsilon"}}, "imported");

    auto transcript = store.chunks(1, std::string("transcript"));
    ASSERT_EQ(transcript.size(), 1u);
    EXPECT_EQ(transcript[0].text, "AlphaBeta gamma");
    auto comments = store.chunks(1, std::string("comment"));
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0].text, "AlphaBeta gamma[2J delta\nepsilon");
    EXPECT_EQ(comments[0].contentHash, MemoryStore::sha(comments[0].text));

    std::vector<std::string> found;
    for (const auto& hit : store.searchChunks("gamma")) {
        found.push_back(hit.chunk.kind);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"comment", "transcript"}));
    EXPECT_EQ(store.searchChunks("epsilon").size(), 1u);
}

TEST_F(TranscriptImportTest, MarkTranscriptUnavailableOnlyFromNone) {
    struct Case {
        const char* from;
        const char* to;
    } cases[] = {{"none", "unavailable"}, {"captured", "captured"}, {"imported", "imported"}, {"fixture", "fixture"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        store.db.run("UPDATE source SET transcript_status = ? WHERE id = 1", {Value(c.from)});
        store.markTranscriptUnavailable(1);
        EXPECT_EQ(status(), c.to);
    }
}

TEST_F(TranscriptImportTest, EnsureVideoSource) {
    clock = 4000;
    int64_t id = store.ensureVideoSource("zyxwvutsrqp", "A new video");
    auto created = store.source(id);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->key, "youtube:zyxwvutsrqp");
    EXPECT_EQ(created->kind, "video");
    EXPECT_EQ(created->url, "https://www.youtube.com/watch?v=zyxwvutsrqp");
    EXPECT_EQ(created->title, "A new video");
    EXPECT_EQ(created->origin, "https://www.youtube.com");
    EXPECT_EQ(created->firstSeen, 4000);
    EXPECT_EQ(created->lastSeen, 4000);
    EXPECT_EQ(created->transcriptStatus, "none");

    clock = 5000;
    EXPECT_EQ(store.ensureVideoSource("abcdefghijk", "Another title"), 1);
    auto existing = store.source(int64_t{1});
    EXPECT_EQ(existing->title, "Talk");
    EXPECT_EQ(existing->lastSeen, 5);
}

} // namespace
} // namespace brell
