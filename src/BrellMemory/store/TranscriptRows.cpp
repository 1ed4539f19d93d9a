#include "BrellMemory/store/TranscriptRows.h"

namespace brell::TranscriptRows {

using Value = SQLiteDB::Value;

std::string hashKey(int64_t sourceID) {
    return "transcript_hash:" + std::to_string(sourceID);
}

void requireKnownProvenance(std::string_view provenance) {
    if (provenance != "captured" && provenance != "imported" && provenance != "api" && provenance != "fixture") {
        throw SQLiteDB::DBError(19, "unknown chunk provenance '" + std::string(provenance) + "'");
    }
}

void replace(MemoryStore& store, int64_t sourceID, const std::vector<Transcript::Chunk>& chunks,
             std::string_view provenance, const Heading& heading, const MemoryStore::ImportProgress& progress) {
    requireKnownProvenance(provenance);
    store.withdrawInsightsCiting(sourceID, "transcript");
    store.db.run("DELETE FROM chunk WHERE source_id = ? AND kind = 'transcript'", {Value(sourceID)});
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        const Transcript::Chunk& chunk = chunks[k];
        store.db.run("INSERT OR IGNORE INTO chunk(source_id, kind, text, heading, locator, start_ms, end_ms, cues, "
                     "retrieved_at, content_hash, provenance)\n"
                     "VALUES (?, 'transcript', ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                     {Value(sourceID), Value(chunk.text), Value(heading ? heading(chunk) : std::nullopt),
                      Value(Transcript::locator(chunk.startMs)), Value(chunk.startMs), Value(chunk.endMs),
                      Value(Transcript::cuesJSON(chunk.cues)), Value(store.now()), Value(MemoryStore::sha(chunk.text)),
                      Value(provenance)});
        if (progress) {
            progress(k + 1, chunks.size());
        }
    }
}

} // namespace brell::TranscriptRows
