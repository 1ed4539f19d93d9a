#pragma once
// The stored form of a video's transcript: the chunk rows of kind 'transcript' and the
// digest that tells whether the same transcript was stored before. Shared by the import
// of transcript files (MemoryStore::importTranscript) and the companion's captured
// captions, so both write identical rows.
//
// Functions over a MemoryStore the caller owns and keeps alive for the call; they run
// on the caller's thread inside the caller's transaction and throw SQLiteDB::DBError.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/store/Transcript.h"

namespace brell::TranscriptRows {

// The meta key under which a video's last stored transcript digest is kept:
// "transcript_hash:" + the decimal source id. An imported file is digested whole; a
// captured transcript over its cues, so the two never match each other.
std::string hashKey(int64_t sourceID);

// Refuses a chunk provenance the schema does not know ('captured', 'imported', 'api',
// 'fixture') with DBError(19, ...), SQLite's constraint code. The chunk inserts use
// INSERT OR IGNORE, which would otherwise drop such rows silently, after the old ones
// are gone and with the import reported as done.
void requireKnownProvenance(std::string_view provenance);

// The heading a chunk is stored with (a chapter title), or nothing.
using Heading = std::function<std::optional<std::string>(const Transcript::Chunk&)>;

// Replaces the video's transcript: withdraws the insights that cite any of its
// transcript chunks (they quote text about to go; ones the user kept stay, as with
// any other removal: MemoryStore::withdrawInsightsCiting), deletes every transcript chunk of
// the source whatever its provenance, then inserts `chunks` in order with `provenance`
// ('captured', 'imported', 'fixture' or 'api'), the heading `heading` gives (NULL
// without one), "t=" locators, the cue offsets, the store's clock read once per chunk
// and the digest of the text. A row equal to an existing one is skipped silently.
// `progress`, when given, hears (chunks written, all chunks) after each insert. Must
// run inside a transaction the caller opened; it opens none itself. An unknown
// `provenance` is refused (requireKnownProvenance) before anything is written.
void replace(MemoryStore& store, int64_t sourceID, const std::vector<Transcript::Chunk>& chunks,
             std::string_view provenance, const Heading& heading = nullptr,
             const MemoryStore::ImportProgress& progress = nullptr);

} // namespace brell::TranscriptRows
