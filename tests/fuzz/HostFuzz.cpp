// The companion host's input side: the frames a browser writes to standard input, run
// through the host's own message loop (FrameLoop, the executable's loop) and answered
// by HostProtocol::handle over a real SQLite memory.
//
// Input: the first byte chooses the consent the memory starts from (bit 0 memory on,
// bit 1 YouTube on, bit 2 paused, bit 3 https://news.example.com approved, bit 4 with
// its article text); the rest is the byte stream on standard input. The memory starts
// afresh for every input with the clock at 2026-01-01T00:00:00Z, and the clock moves
// on a minute with every message (so that earlier visits become "seen before"): an
// input always replays the same way.
//
// Checked for every message: exactly one reply, in a frame that reads back as the
// same JSON; the reply is one of the shapes the companion understands (error, state,
// ack, seen) with only the statuses and reasons those shapes allow, and the one that
// belongs to the request's type; an "accepted" event is remembered, and no other
// answer changes whether an event is remembered; nothing is accepted against the
// consent or the epoch in force. The loop stops as the host's does: at the end of
// the input, or after refusing a frame length.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unistd.h>

#include "BrellCore/board/BoardFile.h"
#include "BrellCore/board/CardStore.h"
#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/FrameLoop.h"
#include "BrellMemory/host/HostProtocol.h"
#include "FuzzSupport.h"
#include "platform/FileSystem.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using fuzz::check;

constexpr Date startOfInput = 1767225600.0; // 2026-01-01T00:00:00Z
constexpr Date perMessage = 60.0;

// The limits of the running host, except that the two message-size limits are small
// enough for the fuzzer's inputs to cross them.
MemoryConfig fuzzConfig() {
    MemoryConfig config = MemoryConfig::defaults();
    config.maxMessageBytes = 1500;
    config.maxTranscriptMessageBytes = 6000;
    return config;
}

// A board with quotes from an article and a video, for "seen" to count.
const std::string& boardFile() {
    static const std::string path = [] {
        std::string file = fuzz::scratchFolder() + "/board.json";
        const char* text = R"({"cards":[
 {"capture":{"capturedAt":"2025-12-31T10:00:00.000Z","id":"7D444840-9DC0-11D1-B245-5FFDCE74FAD2","kind":"quote",
   "source":{"appName":"Safari","redacted":false,"title":"Tides","url":"https://news.example.com/tides?utm_source=x"},
   "text":"The tide turns twice a day.","version":1},
  "id":"0F8FAD5B-D9CB-469F-A165-70867728950E","lane":"evidence","updatedAt":"2025-12-31T10:00:00Z"},
 {"capture":{"capturedAt":"2025-12-31T11:00:00.000Z","id":"6FA459EA-EE8A-3CA4-894E-DB77E160355E","kind":"quote",
   "source":{"appName":"Chrome","redacted":false,"title":"Video","url":"https://youtu.be/dQw4w9WgXcQ"},
   "text":"Never gonna give you up.","version":1},
  "id":"16FD2706-8BAF-433B-82EB-8C7FADA847DA","lane":"notes","updatedAt":"2025-12-31T11:00:00Z"}
],"version":1})";
        FileSystem::writeAtomically(file, text);
        return file;
    }();
    return path;
}

void setUpConsent(MemoryStore& store, uint8_t flags) {
    if ((flags & 1) != 0) {
        store.decide(true, (flags & 2) != 0);
        if ((flags & 4) != 0) {
            store.setPaused(true);
        }
        if ((flags & 8) != 0) {
            store.approveOrigin("https://news.example.com", (flags & 16) != 0);
        }
    }
}

bool remembered(MemoryStore& store, const std::optional<std::string>& eventId) {
    return eventId && store.db.one("SELECT 1 AS x FROM ingested_event WHERE event_id = ?", {SQLiteDB::Value(*eventId)});
}

std::string show(const Json& value) {
    return JsonText::compact(value).value_or("(not serialisable)");
}

const Json& get(const Json& object, std::string_view key) {
    return JsonText::member(object, key);
}

bool isString(const Json& reply, const char* key) {
    return reply.contains(key) && get(reply, key).is_string();
}

bool isInteger(const Json& reply, const char* key) {
    return reply.contains(key) && get(reply, key).is_number_integer();
}

bool isBoolean(const Json& reply, const char* key) {
    return reply.contains(key) && get(reply, key).is_boolean();
}

// The reply holds exactly these keys, and perhaps the optional ones.
void checkKeys(const Json& reply, std::set<std::string> required, const std::set<std::string>& optional) {
    for (const auto& [key, value] : reply.items()) {
        check(required.erase(key) == 1 || optional.count(key) == 1, "the reply holds only its shape's keys",
              show(reply));
    }
    check(required.empty(), "the reply holds every key of its shape", show(reply));
}

void checkError(const Json& reply) {
    static const std::set<std::string> invalidReasons = {"message_too_large", "bad_json", "unsupported_version",
                                                         "unknown_type"};
    check(isString(reply, "status") && isString(reply, "reason"), "an error reply has a status and a reason",
          show(reply));
    std::string status = get(reply, "status");
    std::string reason = get(reply, "reason");
    if (status == "retry") {
        check(reason == "store_unavailable", "a retry error is store_unavailable", show(reply));
    } else {
        check(status == "invalid" && invalidReasons.count(reason) == 1, "an invalid error has a known reason",
              show(reply));
    }
    if (reason == "unsupported_version") {
        check(isInteger(reply, "version") && get(reply, "version") == 1, "unsupported_version carries version 1",
              show(reply));
    }
}

// The requestId a state or seen reply must echo: the request's, trimmed, when usable.
void checkRequestID(const Json& request, const Json& reply) {
    auto expected = HostProtocol::string(JsonText::member(request, "requestId"), 64);
    if (expected) {
        check(reply.contains("requestId") && get(reply, "requestId") == *expected, "a usable requestId is echoed",
              show(reply));
    } else {
        check(!reply.contains("requestId"), "an unusable requestId is not echoed", show(reply));
    }
}

void checkState(const Json& request, const Json& reply, MemoryStore& store, bool mayHaveError) {
    checkKeys(reply,
              {"type", "version", "enabled", "paused", "captureEpoch", "youtube", "origins", "minVideoWallMs",
               "minArticleWallMs"},
              mayHaveError ? std::set<std::string>{"requestId", "error"} : std::set<std::string>{"requestId"});
    check(get(reply, "version") == 1 && isBoolean(reply, "enabled") && isBoolean(reply, "paused") &&
              isInteger(reply, "captureEpoch") && isBoolean(reply, "youtube") && get(reply, "origins").is_array() &&
              get(reply, "minVideoWallMs") == store.config.videoMinWallMs &&
              get(reply, "minArticleWallMs") == store.config.articleMinWallMs,
          "a state reply has the types of its shape", show(reply));
    for (const auto& origin : get(reply, "origins")) {
        check(origin.is_object() && origin.size() == 2 && isString(origin, "origin") && isBoolean(origin, "indexText"),
              "an origin of a state reply is {origin, indexText}", show(reply));
    }
    if (reply.contains("error")) {
        check(get(reply, "error") == "memory_off" || get(reply, "error") == "origin_not_allowed",
              "approve_origin's error is memory_off or origin_not_allowed", show(reply));
    }
    MemoryState now = store.state();
    check(get(reply, "captureEpoch") == now.epoch && get(reply, "enabled") == now.enabled &&
              get(reply, "paused") == now.paused && get(reply, "youtube") == now.youtube,
          "a state reply tells the state in force", show(reply));
    checkRequestID(request, reply);
}

void checkSeen(const Json& request, const Json& reply) {
    static const std::set<std::string> reasons = {"invalid_url", "disabled", "not_allowed"};
    check(isBoolean(reply, "known") && get(reply, "version") == 1, "a seen reply says whether the page is known",
          show(reply));
    if (!get(reply, "known").get<bool>()) {
        checkKeys(reply, {"type", "version", "known"}, {"requestId", "reason"});
        check(!reply.contains("reason") ||
                  (get(reply, "reason").is_string() && reasons.count(get(reply, "reason")) == 1),
              "an unknown page's reason is invalid_url, disabled or not_allowed", show(reply));
    } else {
        checkKeys(reply,
                  {"type", "version", "known", "kind", "title", "watched", "played", "watchedSeconds", "playedSeconds",
                   "readSeconds", "sectionsRead", "quotes", "firstSeenAt", "lastSeenAt"},
                  {"requestId"});
        check(get(reply, "kind") == "video" || get(reply, "kind") == "article", "a known page is a video or an article",
              show(reply));
        for (const char* key : {"watched", "played"}) {
            check(get(reply, key).is_array() && get(reply, key).size() <= 500, "ranges are at most 500", show(reply));
            for (const auto& range : get(reply, key)) {
                check(range.is_array() && range.size() == 2 && range[0].is_number_integer() &&
                          range[1].is_number_integer() && range[0] < range[1],
                      "a range is a [start, end] pair", show(reply));
            }
        }
        for (const char* key : {"watchedSeconds", "playedSeconds", "readSeconds", "sectionsRead", "quotes"}) {
            check(isInteger(reply, key) && get(reply, key) >= 0, "counts are integers of at least 0", show(reply));
        }
        check(isString(reply, "title") && isString(reply, "firstSeenAt") && isString(reply, "lastSeenAt"),
              "title and dates are texts", show(reply));
    }
    checkRequestID(request, reply);
}

void checkAck(const Json& request, const Json& reply, MemoryStore& store, bool rememberedBefore) {
    // clang-format off
    static const std::set<std::string> invalidReasons = {
        "event_id", "epoch", "observed_at", "observed_at_range", "kind", "shape", "message_too_large", "session_id",
        "active_wall", "video_source", "ranges", "range_bounds", "played_wall", "article_url", "article_id", "anchors",
        "anchor", "blocks", "block", "too_much_text", "below_threshold", "session_source_mismatch", "cues", "cue",
        "cue_order"};
    // clang-format on
    checkKeys(reply, {"type", "status", "captureEpoch"}, {"eventId", "reason"});
    check(isString(reply, "status") && isInteger(reply, "captureEpoch"), "an ack has a status and an epoch",
          show(reply));
    std::string status = get(reply, "status");
    if (status == "invalid") {
        check(isString(reply, "reason") && invalidReasons.count(get(reply, "reason")) == 1,
              "an invalid ack has a known reason", show(reply));
    } else if (status == "retry") {
        check(reply.contains("reason") &&
                  (get(reply, "reason") == "store_busy" || get(reply, "reason") == "source_missing"),
              "a retry ack is store_busy or source_missing", show(reply));
        // One connection to an in-memory database is never busy and never loses a row:
        // a retry here is an error the handlers did not expect, passed off as busy.
        fuzz::fail("an in-memory memory answered retry", show(reply));
    } else {
        check(status == "accepted" || status == "duplicate" || status == "stale_epoch" || status == "disabled",
              "an ack's status is one of the six", show(reply));
        check(!reply.contains("reason"), "only invalid and retry acks carry a reason", show(reply));
    }

    auto eventId = HostProtocol::uuid(JsonText::member(request, "eventId"));
    if (eventId) {
        check(reply.contains("eventId") && get(reply, "eventId") == *eventId,
              "a usable eventId is echoed in lower case", show(reply));
    } else {
        check(!reply.contains("eventId"), "an unusable eventId is not echoed", show(reply));
        check(status == "invalid" && get(reply, "reason") == "event_id", "an unusable eventId is invalid / event_id",
              show(reply));
    }

    MemoryState now = store.state();
    check(get(reply, "captureEpoch") == now.epoch, "an ack carries the epoch in force", show(reply));
    bool rememberedAfter = remembered(store, eventId);
    if (status == "accepted") {
        std::string kind = JsonText::string(JsonText::member(request, "kind")).value_or("");
        check(rememberedAfter && !rememberedBefore, "an accepted event is remembered, once", show(reply));
        check(now.capturing() && JsonText::integer(JsonText::member(request, "captureEpoch")) == now.epoch,
              "an event is accepted only while capturing, under the epoch in force", show(reply));
        check(kind == "article.session_delta" || now.youtube, "a video event is accepted only with YouTube on",
              show(reply));
    } else {
        check(rememberedAfter == rememberedBefore, "an event not accepted changes nothing remembered", show(reply));
        if (status == "duplicate") {
            check(rememberedBefore, "a duplicate is an event already remembered", show(reply));
        }
    }
}

// What `request` must be answered with, given the reply handle() gave.
void checkReply(std::string_view body, const Json& reply, MemoryStore& store, bool rememberedBefore) {
    check(reply.is_object() && isString(reply, "type"), "a reply is an object with a type", show(reply));
    check(JsonText::compact(reply).has_value(), "a reply can be serialised", show(reply));
    std::string type = get(reply, "type");
    auto request = JsonText::parse(body);
    if (!request || !request->is_object()) {
        check(type == "error" && get(reply, "reason") == "bad_json", "what is not a JSON object is bad_json",
              show(reply));
        checkKeys(reply, {"type", "status", "reason"}, {});
        return;
    }
    const Json& version = JsonText::member(*request, "version");
    bool versionOne = version.is_number_integer() && version == 1;
    bool versionOther = !version.is_number() || (version.is_number_integer() && version != 1);
    if (versionOther || request->empty()) {
        check(type == "error" && get(reply, "reason") == "unsupported_version",
              "a request without version 1 is unsupported_version", show(reply));
    }
    if (type == "error") {
        checkError(reply);
        checkKeys(reply, {"type", "status", "reason"},
                  get(reply, "reason") == "unsupported_version" ? std::set<std::string>{"version"}
                                                                : std::set<std::string>{"error"});
        if (reply.contains("error")) {
            check(get(reply, "reason") == "store_unavailable" && get(reply, "error") == "memory_off",
                  "only an unreadable state under approve_origin adds error memory_off", show(reply));
        }
        // A fresh in-memory database is always readable.
        check(get(reply, "status") == "invalid", "a readable memory never answers store_unavailable", show(reply));
        if (get(reply, "reason") == "unsupported_version" || !versionOne) {
            return;
        }
    } else {
        check(versionOne || version.is_number_float(), "only version 1 is answered beyond an error", show(reply));
    }

    std::string requestType = JsonText::string(JsonText::member(*request, "type")).value_or("");
    if (requestType == "hello" || requestType == "get_state" || requestType == "revoke_origin") {
        check(type == "state", "hello, get_state and revoke_origin answer a state", show(reply));
        checkState(*request, reply, store, false);
    } else if (requestType == "approve_origin") {
        check(type == "state", "approve_origin answers a state", show(reply));
        checkState(*request, reply, store, true);
    } else if (requestType == "ingest") {
        check(type == "ack", "ingest answers an ack", show(reply));
        checkAck(*request, reply, store, rememberedBefore);
    } else if (requestType == "seen") {
        check(type == "seen", "seen answers a seen reply", show(reply));
        checkSeen(*request, reply);
    } else {
        check(type == "error" && get(reply, "reason") == "unknown_type", "any other type is unknown_type", show(reply));
    }
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    // BRELL_FUZZ_TRACE=1 host_fuzz <input> shows every message and its reply.
    static const bool trace = std::getenv("BRELL_FUZZ_TRACE") != nullptr;
    if (size < 1) {
        return 0;
    }
    Date clock = startOfInput;
    MemoryStore store(":memory:", fuzzConfig(), [&clock] { return clock; });
    setUpConsent(store, data[0]);
    HostProtocol host(store, boardFile());
    const int64_t cap = store.config.maxTranscriptMessageBytes;

    int in = fuzz::memoryFile(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    int out = fuzz::memoryFile("");
    std::vector<Json> sent;
    auto end = FrameLoop::run(in, out, cap, [&](std::string_view body) {
        auto eventId = HostProtocol::uuid(JsonText::member(JsonText::parse(body).value_or(Json()), "eventId"));
        bool before = remembered(store, eventId);
        clock += perMessage;
        Json reply = host.handle(body);
        if (trace) {
            std::fprintf(stderr, "%s\n  -> %s\n", std::string(body.substr(0, 300)).c_str(), show(reply).c_str());
        }
        checkReply(body, reply, store, before);
        sent.push_back(reply);
        return reply;
    });
    check(end != FrameLoop::End::readerGone, "every reply is written");
    const bool refused = end == FrameLoop::End::lengthRefused;
    if (refused) {
        sent.push_back(FrameLoop::lengthRefusal());
    }
    ::close(in);

    // The replies as the browser reads them: whole frames, one per message, in order.
    std::string written = fuzz::contents(out);
    ::close(out);
    std::size_t at = 0;
    for (const auto& reply : sent) {
        check(written.size() - at >= 4, "every reply is framed");
        uint32_t length = 0;
        std::memcpy(&length, written.data() + at, sizeof length);
        check(written.size() - at - 4 >= length, "a reply frame is whole");
        auto back = JsonText::parse(std::string_view(written).substr(at + 4, length));
        check(back && *back == reply, "a reply frame reads back as the reply", show(reply));
        at += 4 + length;
    }
    check(at == written.size(), "nothing but the replies is written");
    check(!refused || sent.back()["reason"] == "message_too_large", "a refused frame ends the loop");

    check(store.db.one("PRAGMA quick_check")->text("quick_check") == "ok", "the memory stays sound");
    check(store.db.query("PRAGMA foreign_key_check").empty(), "every row's references hold");
    return 0;
}
