// Video and article session deltas: the source, the session, its exposure, the title
// chunk and the article chunks, stored in one transaction with the event's id.
#include "BrellMemory/host/HostProtocol.h"

#include "BrellMemory/db/MemoryStore.h"
#include "addresses/PageIdentity.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;
using AckStatus = HostProtocol::AckStatus;
using AckError = HostProtocol::AckError;

constexpr const char* youtubeOrigin = "https://www.youtube.com";

[[noreturn]] void invalid(const char* reason) {
    throw AckError(AckStatus::invalid, reason);
}

} // namespace

std::optional<std::string> HostProtocol::youtubeID(std::string_view fromURL) {
    return PageIdentity::youtubeIDFromURL(fromURL);
}

std::optional<std::string> HostProtocol::canonicalArticleURL(std::string_view url) {
    return PageIdentity::canonicalArticleURL(url);
}

const Regex& HostProtocol::locatorPattern() {
    static const Regex pattern("^[A-Za-z0-9:._#=/-]{1,200}$");
    return pattern;
}

std::optional<std::string> HostProtocol::cleanTitle(const Json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    std::string joined;
    std::string piece;
    auto flush = [&] {
        if (!piece.empty()) {
            joined += (joined.empty() ? "" : " ") + piece;
            piece.clear();
        }
    };
    // Split at runs of Unicode white space, code point by code point.
    const std::string& text = value.get_ref<const std::string&>();
    for (std::size_t i = 0; i < text.size();) {
        std::size_t next = i + 1;
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
            ++next;
        }
        std::string_view codePoint(text.data() + i, next - i);
        if (Text::isBlank(codePoint)) {
            flush();
        } else {
            piece.append(codePoint);
        }
        i = next;
    }
    flush();
    if (joined.empty()) {
        return std::nullopt;
    }
    return Text::prefixCharacters(joined, 300);
}

std::optional<HostProtocol::AckStatus> HostProtocol::recheck(const std::string& eventId, const MemoryState& checked,
                                                             bool needsYouTube) {
    MemoryState now = store_.state();
    if (!now.capturing() || (needsYouTube && !now.youtube)) {
        return AckStatus::disabled;
    }
    if (now.epoch != checked.epoch) {
        return AckStatus::stale_epoch;
    }
    if (store_.db.one("SELECT 1 AS x FROM ingested_event WHERE event_id = ?", {Value(eventId)})) {
        return AckStatus::duplicate;
    }
    return std::nullopt;
}

int64_t HostProtocol::upsertSource(const std::string& key, const std::string& kind, const std::string& url,
                                   const std::string& title, const std::string& origin) {
    Date now = store_.now();
    store_.db.run(
        "INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen) VALUES (?, ?, ?, ?, ?, ?, ?)\n"
        "ON CONFLICT(key) DO UPDATE SET title = excluded.title, last_seen = excluded.last_seen, url = "
        "excluded.url",
        {Value(key), Value(kind), Value(url), Value(title), Value(origin), Value(now), Value(now)});
    auto row = store_.db.one("SELECT id FROM source WHERE key = ?", {Value(key)});
    if (!row) {
        throw AckError(AckStatus::retry, "source_missing");
    }
    return row->integer("id");
}

void HostProtocol::upsertSession(const std::string& sessionId, int64_t sourceID, int64_t wall) {
    Date now = store_.now();
    store_.db.run("INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES (?, ?, ?, ?, ?)\n"
                  "ON CONFLICT(id) DO UPDATE SET active_wall_ms = max(active_wall_ms, excluded.active_wall_ms), "
                  "last_seen = excluded.last_seen",
                  {Value(sessionId), Value(sourceID), Value(wall), Value(now), Value(now)});
    auto row = store_.db.one("SELECT source_id FROM session WHERE id = ?", {Value(sessionId)});
    if (!row || row->integer("source_id") != sourceID) {
        invalid("session_source_mismatch");
    }
}

void HostProtocol::ensureMetadataChunk(int64_t sourceID, const std::string& title) {
    std::string hash = MemoryStore::sha(title);
    if (store_.db.one("SELECT 1 AS x FROM chunk WHERE source_id = ? AND kind = 'metadata' AND content_hash = ?",
                      {Value(sourceID), Value(hash)})) {
        return;
    }
    store_.db.run("DELETE FROM chunk WHERE source_id = ? AND kind = 'metadata'", {Value(sourceID)});
    store_.db.run("INSERT INTO chunk(source_id, kind, text, locator, retrieved_at, content_hash, provenance) "
                  "VALUES (?, 'metadata', ?, 'title', ?, ?, 'captured')",
                  {Value(sourceID), Value(title), Value(store_.now()), Value(hash)});
}

void HostProtocol::storeArticleChunks(int64_t sourceID, const std::vector<Block>& blocks) {
    std::string digestInput;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        digestInput += (i == 0 ? "" : "\u0002") + blocks[i].locator + "\u0001" + blocks[i].text;
    }
    std::string digest = MemoryStore::sha(digestInput);
    std::string key = "article_version:" + std::to_string(sourceID);
    if (store_.meta(key) == digest) {
        return;
    }
    store_.db.run("DELETE FROM chunk WHERE source_id = ? AND kind = 'article'", {Value(sourceID)});
    std::optional<Block> pending;
    std::size_t pendingCharacters = 0;
    auto storePending = [&] {
        if (!pending) {
            return;
        }
        store_.db.run("INSERT OR IGNORE INTO chunk(source_id, kind, text, heading, locator, retrieved_at, "
                      "content_hash, provenance)\nVALUES (?, 'article', ?, ?, ?, ?, ?, 'captured')",
                      {Value(sourceID), Value(pending->text), Value(pending->heading), Value(pending->locator),
                       Value(store_.now()), Value(MemoryStore::sha(pending->text))});
    };
    for (const auto& block : blocks) {
        std::size_t characters = Text::characterCount(block.text);
        if (pending && pending->heading == block.heading && pendingCharacters + characters <= 1200) {
            // The line break joining them is one more character of the pending text.
            pending->text += "\n" + block.text;
            pendingCharacters += 1 + characters;
        } else {
            storePending();
            pending = block;
            pendingCharacters = characters;
        }
    }
    storePending();
    store_.db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(key), Value(digest)});
}

HostProtocol::AckStatus HostProtocol::refuse(const IngestRefusal& refusal) {
    if (refusal.reason) {
        throw AckError(refusal.status, *refusal.reason);
    }
    return refusal.status;
}

HostProtocol::AckStatus HostProtocol::ingestVideo(const std::string& eventId, const Json& source, const Json& payload,
                                                  const std::string& sessionId, int64_t activeWallMs,
                                                  const MemoryState& state) {
    if (!state.youtube) {
        return AckStatus::disabled;
    }
    auto parsed = VideoDelta::parse(source, payload);
    if (const auto* refusal = std::get_if<IngestRefusal>(&parsed)) {
        return refuse(*refusal);
    }
    return storeVideo(eventId, std::get<VideoDelta>(parsed), sessionId, activeWallMs, state);
}

HostProtocol::AckStatus HostProtocol::storeVideo(const std::string& eventId, const VideoDelta& delta,
                                                 const std::string& sessionId, int64_t activeWallMs,
                                                 const MemoryState& state) {
    return store_.db.transaction([&]() -> AckStatus {
        if (auto refusal = recheck(eventId, state, true)) {
            return *refusal;
        }
        bool known = store_.db.one("SELECT id FROM session WHERE id = ?", {Value(sessionId)}).has_value();
        if (!known && std::max(activeWallMs, delta.playedWallMs) < store_.config.videoMinWallMs) {
            invalid("below_threshold");
        }
        int64_t sourceID = upsertSource(delta.key, "video", delta.watchURL, delta.title, youtubeOrigin);
        upsertSession(sessionId, sourceID, activeWallMs);
        store_.db.run("UPDATE session SET played_wall_ms = max(played_wall_ms, ?) WHERE id = ?",
                      {Value(delta.playedWallMs), Value(sessionId)});
        auto mergeExposure = [&](const char* kind, const std::vector<Range>& added) {
            std::vector<Range> all = added;
            for (const auto& row :
                 store_.db.query("SELECT start_ms, end_ms FROM exposure WHERE session_id = ? AND kind = ?",
                                 {Value(sessionId), Value(kind)})) {
                all.push_back({row.integer("start_ms"), row.integer("end_ms")});
            }
            store_.db.run("DELETE FROM exposure WHERE session_id = ? AND kind = ?", {Value(sessionId), Value(kind)});
            for (const auto& r : Intervals::merge(std::move(all), store_.config.rangeMergeGapMs)) {
                store_.db.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES (?, ?, ?, ?)",
                              {Value(sessionId), Value(kind), Value(r.start), Value(r.end)});
            }
        };
        mergeExposure("range", delta.ranges);
        if (delta.played) {
            mergeExposure("played", *delta.played);
        }
        ensureMetadataChunk(sourceID, delta.title);
        recordEvent(eventId);
        return AckStatus::accepted;
    });
}

HostProtocol::AckStatus HostProtocol::ingestArticle(const std::string& eventId, const Json& source, const Json& payload,
                                                    const std::string& sessionId, int64_t activeWallMs,
                                                    const MemoryState& state) {
    auto parsed = ArticleDelta::parse(source, payload, state.origins, store_.config);
    if (const auto* refusal = std::get_if<IngestRefusal>(&parsed)) {
        return refuse(*refusal);
    }
    return storeArticle(eventId, std::get<ArticleDelta>(parsed), sessionId, activeWallMs, state);
}

HostProtocol::AckStatus HostProtocol::storeArticle(const std::string& eventId, const ArticleDelta& delta,
                                                   const std::string& sessionId, int64_t activeWallMs,
                                                   const MemoryState& state) {
    return store_.db.transaction([&]() -> AckStatus {
        if (auto refusal = recheck(eventId, state, false)) {
            return *refusal;
        }
        // The origin's approval may have changed under the write lock too.
        auto fresh = store_.state();
        bool stillApproved = std::any_of(fresh.origins.begin(), fresh.origins.end(), [&](const AllowedOrigin& o) {
            return o.origin == delta.origin && !o.muted && o.indexText == delta.indexText;
        });
        if (!stillApproved) {
            return AckStatus::stale_epoch;
        }
        bool known = store_.db.one("SELECT id FROM session WHERE id = ?", {Value(sessionId)}).has_value();
        if (!known && activeWallMs < store_.config.articleMinWallMs) {
            invalid("below_threshold");
        }
        int64_t sourceID = upsertSource(delta.key, "article", delta.canonical, delta.title, delta.origin);
        upsertSession(sessionId, sourceID, activeWallMs);
        std::vector<std::string> stored;
        for (const auto& row : store_.db.query("SELECT locator FROM exposure WHERE session_id = ? AND kind = 'anchor'",
                                               {Value(sessionId)})) {
            stored.push_back(row.text("locator"));
        }
        for (const auto& anchor : delta.anchors) {
            if (std::find(stored.begin(), stored.end(), anchor.locator) == stored.end()) {
                store_.db.run("INSERT INTO exposure(session_id, kind, locator, label) VALUES (?, 'anchor', ?, ?)",
                              {Value(sessionId), Value(anchor.locator), Value(anchor.label)});
                stored.push_back(anchor.locator);
            }
        }
        ensureMetadataChunk(sourceID, delta.title);
        // An empty list says nothing about the page's text: keep what is stored.
        if (delta.blocks && !delta.blocks->empty()) {
            storeArticleChunks(sourceID, *delta.blocks);
        }
        recordEvent(eventId);
        return AckStatus::accepted;
    });
}

} // namespace brell
