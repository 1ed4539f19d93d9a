// Importing transcript files and comment lists into memory.
#include "BrellMemory/db/MemoryStore.h"

#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptError.h"
#include "BrellMemory/store/TranscriptRows.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr std::size_t maxCommentChars = 2000;
constexpr const char* youtubeOrigin = "https://www.youtube.com";

} // namespace

int64_t MemoryStore::importTranscript(int64_t sourceID, std::string_view fileText, std::string_view provenance,
                                      const ImportProgress& progress) {
    auto video = source(sourceID);
    if (!video || video->kind != "video") {
        throw TranscriptError::empty();
    }
    TranscriptRows::requireKnownProvenance(provenance);
    std::vector<Cue> cues = Transcript::parse(fileText);
    std::string digest = sha(fileText);
    std::string key = TranscriptRows::hashKey(sourceID);
    // The digest outlives the chunks when a source is deleted, and a later source may
    // get the same id; only a digest whose chunks are still there means "already done".
    if (meta(key) == digest &&
        db.one("SELECT 1 AS x FROM chunk WHERE source_id = ? AND kind = 'transcript' LIMIT 1", {Value(sourceID)})) {
        return 0;
    }
    auto built =
        Transcript::chunks(cues, config.transcriptChunkMinMs, config.transcriptChunkMaxMs, Transcript::maxChunkChars);
    db.transaction([&] {
        TranscriptRows::replace(*this, sourceID, built, provenance, nullptr, progress);
        db.run("UPDATE source SET transcript_status = ? WHERE id = ?",
               {Value(provenance == "fixture" ? "fixture" : "imported"), Value(sourceID)});
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(key), Value(digest)});
    });
    return static_cast<int64_t>(built.size());
}

void MemoryStore::importComments(int64_t sourceID, const std::vector<std::pair<std::string, std::string>>& comments,
                                 std::string_view provenance, const ImportProgress& progress) {
    TranscriptRows::requireKnownProvenance(provenance);
    db.transaction([&] {
        for (std::size_t k = 0; k < comments.size(); ++k) {
            const auto& [id, text] = comments[k];
            std::string cut = Text::prefixCharacters(Text::removeControls(text), maxCommentChars);
            db.run(
                "INSERT OR IGNORE INTO chunk(source_id, kind, text, locator, retrieved_at, content_hash, provenance)\n"
                "VALUES (?, 'comment', ?, ?, ?, ?, ?)",
                {Value(sourceID), Value(cut), Value("c:" + id), Value(now()), Value(sha(cut)), Value(provenance)});
            if (progress) {
                progress(k + 1, comments.size());
            }
        }
        db.run("UPDATE source SET comments_status = ? WHERE id = ?",
               {Value(provenance == "fixture" ? "fixture" : "fetched"), Value(sourceID)});
    });
}

void MemoryStore::markTranscriptUnavailable(int64_t sourceID) {
    db.run("UPDATE source SET transcript_status = 'unavailable' WHERE id = ? AND transcript_status = 'none'",
           {Value(sourceID)});
}

int64_t MemoryStore::ensureVideoSource(std::string_view videoID, std::string_view title) {
    std::string key = "youtube:" + std::string(videoID);
    Date at = now();
    // DO NOTHING keeps an existing row exactly as the companion left it.
    db.run(
        "INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen) VALUES (?, 'video', ?, ?, ?, ?, ?)\n"
        "ON CONFLICT(key) DO NOTHING",
        {Value(key), Value(std::string(youtubeOrigin) + "/watch?v=" + std::string(videoID)), Value(title),
         Value(youtubeOrigin), Value(at), Value(at)});
    auto row = db.one("SELECT id FROM source WHERE key = ?", {Value(key)});
    if (!row) {
        throw SQLiteDB::DBError(0, "the video source " + key + " is missing after it was written");
    }
    return row->integer("id");
}

} // namespace brell
