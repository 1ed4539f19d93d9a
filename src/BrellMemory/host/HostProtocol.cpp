#include "BrellMemory/host/HostProtocol.h"

#include <algorithm>
#include <array>

#include "BrellMemory/db/MemoryStore.h"
#include "util/ISODate.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr std::array ingestKinds = {"video.session_delta", "article.session_delta", "video.transcript"};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

std::string HostProtocol::rawValue(AckStatus status) {
    switch (status) {
    case AckStatus::accepted:
        return "accepted";
    case AckStatus::duplicate:
        return "duplicate";
    case AckStatus::stale_epoch:
        return "stale_epoch";
    case AckStatus::disabled:
        return "disabled";
    case AckStatus::invalid:
        return "invalid";
    case AckStatus::retry:
        return "retry";
    }
    return "retry";
}

HostProtocol::AckError::AckError(AckStatus status, std::string reason)
    : Error("event answered " + HostProtocol::rawValue(status) + ": " + reason), status_(status),
      reason_(std::move(reason)) {}

HostProtocol::HostProtocol(MemoryStore& store, std::string boardURL) : store_(store), boardURL_(std::move(boardURL)) {}

std::optional<std::string> HostProtocol::string(const Json& value, std::size_t max) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    std::string text = Text::trim(value.get_ref<const std::string&>());
    if (text.empty() || text.find('\0') != std::string::npos || Text::characterCount(text) > max) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> HostProtocol::uuid(const Json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    const auto& text = value.get_ref<const std::string&>();
    if (text.size() != 36) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !isHex(text[i])) {
            return std::nullopt;
        }
        out += static_cast<char>(text[i] >= 'A' && text[i] <= 'F' ? text[i] - 'A' + 'a' : text[i]);
    }
    return out;
}

Json HostProtocol::error(std::string_view status, std::string_view reason) {
    return Json{{"type", "error"}, {"status", status}, {"reason", reason}};
}

Json HostProtocol::handle(std::string_view data) {
    try {
        if (static_cast<int64_t>(data.size()) > store_.config.maxTranscriptMessageBytes) {
            return error("invalid", "message_too_large");
        }
        auto parsed = JsonText::parse(data);
        if (!parsed || !parsed->is_object()) {
            return error("invalid", "bad_json");
        }
        const Json& message = *parsed;
        auto version = JsonText::integer(JsonText::member(message, "version"));
        if (message.empty() || version != HostProtocol::version) {
            Json reply = error("invalid", "unsupported_version");
            reply["version"] = HostProtocol::version;
            return reply;
        }
        store_.touchHost();
        auto requestId = string(JsonText::member(message, "requestId"), 64);
        auto type = JsonText::string(JsonText::member(message, "type")).value_or("");
        if (type == "hello" || type == "get_state") {
            return stateMessage(requestId);
        }
        if (type == "approve_origin") {
            return approveOrigin(message, requestId);
        }
        if (type == "revoke_origin") {
            if (auto origin = string(JsonText::member(message, "origin"), 300)) {
                try {
                    // The companion can never delete what was stored.
                    store_.revokeOrigin(*origin, false);
                } catch (const std::exception&) {
                }
            }
            return stateMessage(requestId);
        }
        if (type == "ingest") {
            return ingest(message);
        }
        if (type == "seen") {
            return seen(message, requestId);
        }
        return error("invalid", "unknown_type");
    } catch (const std::exception&) {
        // Only resource exhaustion reaches here; the companion may send the message again.
        return error("retry", "store_unavailable");
    }
}

Json HostProtocol::stateMessage(const std::optional<std::string>& requestId) {
    MemoryState state;
    try {
        state = store_.state();
    } catch (const std::exception&) {
        return error("retry", "store_unavailable");
    }
    Json origins = Json::array();
    for (const auto& origin : state.origins) {
        if (!origin.muted) {
            origins.push_back({{"origin", origin.origin}, {"indexText", origin.indexText}});
        }
    }
    Json reply = {{"type", "state"},
                  {"version", HostProtocol::version},
                  {"enabled", state.enabled},
                  {"paused", state.paused},
                  {"captureEpoch", state.epoch},
                  {"youtube", state.youtube},
                  {"origins", origins},
                  {"minVideoWallMs", store_.config.videoMinWallMs},
                  {"minArticleWallMs", store_.config.articleMinWallMs}};
    if (requestId) {
        reply["requestId"] = *requestId;
    }
    return reply;
}

Json HostProtocol::approveOrigin(const Json& message, const std::optional<std::string>& requestId) {
    bool enabled = false;
    try {
        enabled = store_.state().enabled;
    } catch (const std::exception&) {
    }
    if (!enabled) {
        Json reply = stateMessage(requestId);
        reply["error"] = "memory_off";
        return reply;
    }
    auto origin = string(JsonText::member(message, "origin"), 300);
    std::optional<std::string> approved;
    if (origin) {
        bool indexText = JsonText::boolean(JsonText::member(message, "indexText")).value_or(true);
        try {
            approved = store_.approveOrigin(*origin, indexText);
        } catch (const std::exception&) {
        }
    }
    Json reply = stateMessage(requestId);
    if (!approved) {
        reply["error"] = "origin_not_allowed";
    }
    return reply;
}

Json HostProtocol::ack(const std::optional<std::string>& eventId, AckStatus status,
                       const std::optional<std::string>& reason) {
    int64_t epoch = 0;
    try {
        epoch = store_.state().epoch;
    } catch (const std::exception&) {
    }
    Json reply = {{"type", "ack"}, {"status", rawValue(status)}, {"captureEpoch", epoch}};
    if (eventId) {
        reply["eventId"] = *eventId;
    }
    if (reason) {
        reply["reason"] = *reason;
    }
    return reply;
}

void HostProtocol::recordEvent(const std::string& eventId) {
    store_.db.run("INSERT INTO ingested_event(event_id, expires_at) VALUES (?, ?)",
                  {Value(eventId), Value(store_.now() + store_.config.eventDedupeTTL)});
}

Json HostProtocol::ingest(const Json& message) {
    auto eventId = uuid(JsonText::member(message, "eventId"));
    if (!eventId) {
        return ack(std::nullopt, AckStatus::invalid, "event_id");
    }
    auto invalid = [&](const char* reason) { return ack(eventId, AckStatus::invalid, reason); };
    auto captureEpoch = JsonText::integer(JsonText::member(message, "captureEpoch"));
    if (!captureEpoch || JsonText::member(message, "captureEpoch").is_boolean()) {
        return invalid("epoch");
    }
    auto observedText = JsonText::string(JsonText::member(message, "observedAt"));
    auto observedAt = observedText ? ISODate::parse(*observedText) : std::nullopt;
    if (!observedAt) {
        return invalid("observed_at");
    }
    Date now = store_.now();
    if (!(*observedAt > now - store_.config.maxEventAge && *observedAt < now + 300)) {
        return invalid("observed_at_range");
    }
    auto kind = JsonText::string(JsonText::member(message, "kind"));
    if (!kind || std::find(ingestKinds.begin(), ingestKinds.end(), *kind) == ingestKinds.end()) {
        return invalid("kind");
    }
    const Json& source = JsonText::member(message, "source");
    const Json& payload = JsonText::member(message, "payload");
    if (!source.is_object() || !payload.is_object()) {
        return invalid("shape");
    }
    if (*kind != "video.transcript") {
        auto serialised = JsonText::compact(message);
        if (serialised && static_cast<int64_t>(serialised->size()) > store_.config.maxMessageBytes) {
            return invalid("message_too_large");
        }
    }
    return dispatchIngest(*eventId, *captureEpoch, *kind, source, payload);
}

Json HostProtocol::dispatchIngest(const std::string& eventId, int64_t captureEpoch, const std::string& kind,
                                  const Json& source, const Json& payload) {
    try {
        auto isDuplicate = [&] {
            return store_.db.one("SELECT 1 AS x FROM ingested_event WHERE event_id = ?", {Value(eventId)}).has_value();
        };
        if (kind == "video.transcript") {
            MemoryState state = store_.state();
            if (!state.capturing() || !state.youtube) {
                return ack(eventId, AckStatus::disabled);
            }
            if (state.epoch != captureEpoch) {
                return ack(eventId, AckStatus::stale_epoch);
            }
            if (isDuplicate()) {
                return ack(eventId, AckStatus::duplicate);
            }
            transcriptChecked_ = state;
            struct Reset {
                std::optional<MemoryState>& held;
                ~Reset() { held.reset(); }
            } reset{transcriptChecked_};
            return ack(eventId, ingestTranscript(eventId, source, payload));
        }
        auto sessionId = uuid(JsonText::member(payload, "sessionId"));
        if (!sessionId) {
            return ack(eventId, AckStatus::invalid, "session_id");
        }
        auto activeWallMs = JsonText::integer(JsonText::member(payload, "activeWallMs"));
        if (!activeWallMs || *activeWallMs < 0 || *activeWallMs > 86'400'000) {
            return ack(eventId, AckStatus::invalid, "active_wall");
        }
        MemoryState state = store_.state();
        if (!state.capturing()) {
            return ack(eventId, AckStatus::disabled);
        }
        if (state.epoch != captureEpoch) {
            return ack(eventId, AckStatus::stale_epoch);
        }
        if (isDuplicate()) {
            return ack(eventId, AckStatus::duplicate);
        }
        AckStatus status = kind == "video.session_delta"
                               ? ingestVideo(eventId, source, payload, *sessionId, *activeWallMs, state)
                               : ingestArticle(eventId, source, payload, *sessionId, *activeWallMs, state);
        return ack(eventId, status);
    } catch (const AckError& e) {
        return ack(eventId, e.status(), e.reason());
    } catch (const std::exception&) {
        return ack(eventId, AckStatus::retry, "store_busy");
    }
}

} // namespace brell
