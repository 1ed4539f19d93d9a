// Captions the companion read from a video page, stored as the video's transcript
// chunks exactly as an imported file of the same cues would be, but never over an
// imported transcript.
#include "BrellMemory/host/HostProtocol.h"

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptRows.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

} // namespace

HostProtocol::AckStatus HostProtocol::ingestTranscript(const std::string& eventId, const Json& source,
                                                       const Json& payload) {
    auto parsed = CapturedTranscript::parse(source, payload, store_.config.maxTranscriptChars);
    if (const auto* refusal = std::get_if<IngestRefusal>(&parsed)) {
        return refuse(*refusal);
    }
    return storeTranscript(eventId, std::get<CapturedTranscript>(parsed));
}

HostProtocol::AckStatus HostProtocol::storeTranscript(const std::string& eventId,
                                                      const CapturedTranscript& transcript) {
    const std::vector<Cue>& cues = transcript.cues;
    std::string digestInput;
    for (std::size_t i = 0; i < cues.size(); ++i) {
        digestInput += (i == 0 ? "" : "\n") + std::to_string(cues[i].startMs) + "|" + cues[i].text;
    }
    const std::string digest = MemoryStore::sha(digestInput);

    return store_.db.transaction([&]() -> AckStatus {
        MemoryState checked = transcriptChecked_ ? *transcriptChecked_ : store_.state();
        if (auto refusal = recheck(eventId, checked, true)) {
            return *refusal;
        }
        int64_t sourceID =
            upsertSource(transcript.key, "video", transcript.watchURL, transcript.title, "https://www.youtube.com");
        ensureMetadataChunk(sourceID, transcript.title);
        auto status = store_.db.one("SELECT transcript_status FROM source WHERE id = ?", {Value(sourceID)});
        bool imported = status && status->text("transcript_status") == "imported";
        std::string hashKey = TranscriptRows::hashKey(sourceID);
        if (!imported && store_.meta(hashKey) != digest) {
            auto chunks = Transcript::chunks(cues, store_.config.transcriptChunkMinMs,
                                             store_.config.transcriptChunkMaxMs, Transcript::maxChunkChars);
            auto heading = [&](const Transcript::Chunk& chunk) { return transcript.chapterAt(chunk.startMs); };
            TranscriptRows::replace(store_, sourceID, chunks, "captured", heading);
            store_.db.run("UPDATE source SET transcript_status = 'captured' WHERE id = ?", {Value(sourceID)});
            store_.db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(hashKey), Value(digest)});
        }
        recordEvent(eventId);
        return AckStatus::accepted;
    });
}

} // namespace brell
