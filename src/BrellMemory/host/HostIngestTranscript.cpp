// Captions the companion read from a video page, stored as the video's transcript
// chunks exactly as an imported file of the same cues would be, but never over an
// imported transcript.
#include "BrellMemory/host/HostProtocol.h"

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptRows.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;
using AckStatus = HostProtocol::AckStatus;
using AckError = HostProtocol::AckError;

constexpr int64_t dayMs = 86'400'000;

[[noreturn]] void invalid(const char* reason) {
    throw AckError(AckStatus::invalid, reason);
}

struct Chapter {
    int64_t startMs;
    std::string title;
};

std::vector<Chapter> readChapters(const Json& value) {
    std::vector<Chapter> chapters;
    if (!value.is_array() || !std::all_of(value.begin(), value.end(), [](const Json& c) { return c.is_array(); })) {
        return chapters;
    }
    for (const auto& entry : value) {
        if (entry.size() != 2) {
            continue;
        }
        auto start = JsonText::integer(entry[0]);
        auto title = HostProtocol::string(entry[1], 120);
        if (start && *start >= 0 && title) {
            chapters.push_back({*start, *title});
        }
    }
    return chapters;
}

} // namespace

HostProtocol::AckStatus HostProtocol::ingestTranscript(const std::string& eventId, const Json& source,
                                                       const Json& payload) {
    auto id = string(JsonText::member(source, "id"), 40);
    auto url = string(JsonText::member(source, "url"), 500);
    auto videoID = url ? youtubeID(*url) : std::nullopt;
    if (!id || id->rfind("youtube:", 0) != 0 || !videoID || "youtube:" + *videoID != *id) {
        invalid("video_source");
    }
    const Json& sent = JsonText::member(payload, "cues");
    if (!sent.is_array() || sent.empty() || sent.size() > 6000 ||
        !std::all_of(sent.begin(), sent.end(), [](const Json& c) { return c.is_array(); })) {
        invalid("cues");
    }
    std::vector<Cue> cues;
    int64_t characters = 0;
    for (const auto& entry : sent) {
        auto start = entry.size() == 2 ? JsonText::integer(entry[0]) : std::nullopt;
        auto text = entry.size() == 2 ? string(entry[1], 2000) : std::nullopt;
        if (!start || *start < 0 || *start > dayMs || !text) {
            invalid("cue");
        }
        if (!cues.empty() && *start < cues.back().startMs) {
            invalid("cue_order");
        }
        characters += static_cast<int64_t>(Text::characterCount(*text));
        if (characters > store_.config.maxTranscriptChars) {
            invalid("too_much_text");
        }
        if (!cues.empty()) {
            cues.back().endMs = std::max(cues.back().startMs + 1, *start);
        }
        cues.push_back(Cue{*start, *start + 5000, Transcript::clean(*text)});
    }
    std::vector<Chapter> chapters = readChapters(JsonText::member(payload, "chapters"));
    std::string title = cleanTitle(JsonText::member(source, "title")).value_or("YouTube video");
    std::string watchURL = "https://www.youtube.com/watch?v=" + *videoID;

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
        int64_t sourceID = upsertSource(*id, "video", watchURL, title, "https://www.youtube.com");
        ensureMetadataChunk(sourceID, title);
        auto status = store_.db.one("SELECT transcript_status FROM source WHERE id = ?", {Value(sourceID)});
        bool imported = status && status->text("transcript_status") == "imported";
        std::string hashKey = TranscriptRows::hashKey(sourceID);
        if (!imported && store_.meta(hashKey) != digest) {
            auto chunks = Transcript::chunks(cues, store_.config.transcriptChunkMinMs,
                                             store_.config.transcriptChunkMaxMs, Transcript::maxChunkChars);
            auto heading = [&](const Transcript::Chunk& chunk) -> std::optional<std::string> {
                for (auto it = chapters.rbegin(); it != chapters.rend(); ++it) {
                    if (it->startMs <= chunk.startMs) {
                        return it->title;
                    }
                }
                return std::nullopt;
            };
            TranscriptRows::replace(store_, sourceID, chunks, "captured", heading);
            store_.db.run("UPDATE source SET transcript_status = 'captured' WHERE id = ?", {Value(sourceID)});
            store_.db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(hashKey), Value(digest)});
        }
        recordEvent(eventId);
        return AckStatus::accepted;
    });
}

} // namespace brell
