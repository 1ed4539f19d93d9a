#pragma once
// HostProtocol turns one message from the companion extension into one reply: a state
// reply, an acknowledgement of a captured event, a seen reply or an error. It checks
// size, syntax and protocol version, notes that the companion is alive, and for
// "ingest" validates the envelope and enforces consent, the capture epoch and
// once-only delivery before handing the payload to the video, article or transcript
// handler. It never throws: every problem becomes a reply.
//
// Borrows `store` for its whole life; holds no state between messages (everything is
// read afresh from the database). Used from one thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/host/AckStatus.h"
#include "BrellMemory/host/ArticleDelta.h"
#include "BrellMemory/host/CapturedTranscript.h"
#include "BrellMemory/host/IngestRefusal.h"
#include "BrellMemory/host/SeenAnswer.h"
#include "BrellMemory/host/VideoDelta.h"
#include "BrellMemory/store/MemoryState.h"
#include "util/Date.h"
#include "util/Error.h"
#include "util/Json.h"
#include "util/Regex.h"

namespace brell {

class MemoryStore;

class HostProtocol {
public:
    static constexpr int version = 1;
    static constexpr std::string_view hostName = "dev.brell.memory";

    using AckStatus = brell::AckStatus;
    static std::string rawValue(AckStatus status);

    // Raised by the ingestion handlers to end an event with a specific answer.
    class AckError : public Error {
    public:
        AckError(AckStatus status, std::string reason);
        AckStatus status() const { return status_; }
        const std::string& reason() const { return reason_; }

    private:
        AckStatus status_;
        std::string reason_;
    };

    HostProtocol(MemoryStore& store, std::string boardURL);

    MemoryStore& store() const { return store_; }
    const std::string& boardURL() const { return boardURL_; }

    // The single entry point: one message body in, one reply out.
    Json handle(std::string_view data);

    Json stateMessage(const std::optional<std::string>& requestId);
    Json approveOrigin(const Json& message, const std::optional<std::string>& requestId);
    Json ingest(const Json& message);
    Json seen(const Json& message, const std::optional<std::string>& requestId);
    // What memory knows of earlier visits to `url`, counting visits that started before
    // `since` when given; `seen` answers with its JSON form.
    SeenAnswer seenAnswer(const std::optional<std::string>& url, std::optional<Date> since);
    static Json seenReply(const SeenAnswer& answer, const std::optional<std::string>& requestId);
    Json ack(const std::optional<std::string>& eventId, AckStatus status,
             const std::optional<std::string>& reason = std::nullopt);

    // Remembers an accepted event id until now + the dedupe TTL. Called inside the
    // transaction that stores the event. Throws SQLiteDB::DBError.
    void recordEvent(const std::string& eventId);

    // A JSON string, trimmed, non-empty, at most `max` user-perceived characters, no NUL.
    static std::optional<std::string> string(const Json& value, std::size_t max);
    // A JSON string in the 8-4-4-4-12 hexadecimal UUID form, lower-cased.
    static std::optional<std::string> uuid(const Json& value);

    // ---- Ingestion handlers: each reads its event into a typed value (VideoDelta,
    // ArticleDelta, CapturedTranscript), then stores that value in one transaction
    // together with its ingested_event row, and returns the status to answer. Throw
    // AckError for a specific answer; any other error is answered "retry" / "store_busy".
    AckStatus ingestVideo(const std::string& eventId, const Json& source, const Json& payload,
                          const std::string& sessionId, int64_t activeWallMs, const MemoryState& state);
    AckStatus ingestArticle(const std::string& eventId, const Json& source, const Json& payload,
                            const std::string& sessionId, int64_t activeWallMs, const MemoryState& state);
    AckStatus ingestTranscript(const std::string& eventId, const Json& source, const Json& payload);

    // Steps shared by the handlers, run inside their transactions.
    void upsertSession(const std::string& sessionId, int64_t sourceID, int64_t wall);
    void ensureMetadataChunk(int64_t sourceID, const std::string& title);
    using Block = ArticleDelta::Block;
    void storeArticleChunks(int64_t sourceID, const std::vector<Block>& blocks);

    // The video id of an https watch page on the three main YouTube hosts.
    static std::optional<std::string> youtubeID(std::string_view fromURL);
    // The cleaned https address an article is remembered under (no sensitive paths).
    static std::optional<std::string> canonicalArticleURL(std::string_view url);

    // A page title with its white space collapsed, at most 300 characters.
    static std::optional<std::string> cleanTitle(const Json& value);
    // "^[A-Za-z0-9:._#=/-]{1,200}$": the form of every section locator.
    static const Regex& locatorPattern();

private:
    // Consent, epoch and duplicates read again inside the storing transaction, which
    // holds the write lock: a change committed after the first checks is honoured.
    // Nothing when the event may still be stored.
    std::optional<AckStatus> recheck(const std::string& eventId, const MemoryState& checked, bool needsYouTube);
    // Upserts the source row and returns its id.
    int64_t upsertSource(const std::string& key, const std::string& kind, const std::string& url,
                         const std::string& title, const std::string& origin);
    static Json error(std::string_view status, std::string_view reason);
    // Raises the refusal as the AckError that ends the event, or returns its status when
    // it carries no reason.
    static AckStatus refuse(const IngestRefusal& refusal);
    AckStatus storeVideo(const std::string& eventId, const VideoDelta& delta, const std::string& sessionId,
                         int64_t activeWallMs, const MemoryState& state);
    AckStatus storeArticle(const std::string& eventId, const ArticleDelta& delta, const std::string& sessionId,
                           int64_t activeWallMs, const MemoryState& state);
    AckStatus storeTranscript(const std::string& eventId, const CapturedTranscript& transcript);
    Json dispatchIngest(const std::string& eventId, int64_t captureEpoch, const std::string& kind, const Json& source,
                        const Json& payload);

    MemoryStore& store_;
    std::string boardURL_;
    // The state the current transcript event was checked against (set only while
    // ingest hands it on), so its transaction can tell whether consent changed since.
    std::optional<MemoryState> transcriptChecked_;
};

} // namespace brell
