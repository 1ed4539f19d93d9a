// Forgetting: the retention purge, deleting and muting one source, clearing all memory.
#include "BrellMemory/db/MemoryStore.h"

#include <charconv>

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr double secondsPerDay = 86400;
constexpr const char* lastPurgeKey = "last_purge";

} // namespace

void MemoryStore::withdrawInsightsCiting(int64_t sourceID, std::optional<std::string_view> chunkKind) {
    // Suggestions the user kept stay theirs: only the others are withdrawn.
    if (chunkKind) {
        withdrawInsights("id IN (SELECT e.insight_id FROM insight_evidence e JOIN chunk c ON c.id = e.chunk_id "
                         "WHERE c.source_id = ? AND c.kind = ?)",
                         {Value(sourceID), Value(*chunkKind)}, Withdrawable::unkept, "stale");
        return;
    }
    withdrawInsights("id IN (SELECT e.insight_id FROM insight_evidence e JOIN chunk c ON c.id = e.chunk_id "
                     "WHERE c.source_id = ?)",
                     {Value(sourceID)}, Withdrawable::unkept, "stale");
}

MemoryStore::PurgeResult MemoryStore::purgeExpired() {
    MemoryState s = state();
    Date cutoff = now() - static_cast<double>(s.retentionDays) * secondsPerDay;
    PurgeResult result;
    std::vector<int64_t> visual;
    db.transaction([&] {
        for (const auto& row : db.query("SELECT id FROM source WHERE last_seen < ?", {Value(cutoff)})) {
            deleteSourceRows(row.integer("id"));
            ++result.sources;
        }
        // Old sessions of sources seen again since; their exposure goes with them.
        result.sessions = db.run("DELETE FROM session WHERE last_seen < ?", {Value(cutoff)});
        // Replay protection that has run out: the clock is read again.
        result.events = db.run("DELETE FROM ingested_event WHERE expires_at < ?", {Value(now())});
        result.screenCaptures = db.run("DELETE FROM screen_capture WHERE last_at < ?", {Value(cutoff)});
        visual = purgeVisualRows(cutoff);
        result.visualSessions = static_cast<int64_t>(visual.size());
        result.insights =
            db.run("DELETE FROM insight WHERE created_at < ? AND status NOT IN ('saved','useful')", {Value(cutoff)});
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(lastPurgeKey), Value(dateText(now()))});
    });
    // Pictures go only once their rows are gone for good.
    removeVisualFolders(visual);
    result.orphans = sweepVisualOrphans();
    return result;
}

std::optional<MemoryStore::PurgeResult> MemoryStore::setRetention(int64_t days) {
    if (!isRetention(days)) {
        return std::nullopt;
    }
    db.run("UPDATE consent SET retention_days = ?, updated_at = ? WHERE id = 1", {Value(days), Value(now())});
    return purgeExpired();
}

bool MemoryStore::deleteSource(int64_t id) {
    return db.transaction([&] {
        bool existed = db.one("SELECT 1 AS x FROM source WHERE id = ?", {Value(id)}).has_value();
        deleteSourceRows(id);
        bumpEpoch();
        return existed;
    });
}

bool MemoryStore::setSourceMuted(int64_t id, bool muted) {
    return db.transaction([&] {
        bool exists = db.run("UPDATE source SET muted = ? WHERE id = ?", {Value(muted ? 1 : 0), Value(id)}) > 0;
        if (muted) {
            withdrawInsightsCiting(id);
        }
        return exists;
    });
}

void MemoryStore::clearMemory() {
    db.transaction([&] {
        withdrawInsights("1", {}, Withdrawable::unkept, "stale");
        db.run("DELETE FROM source");
        // Source ids may be given again once the table is empty; digests of the text of
        // the sources gone would make a new source's first text look already stored.
        db.run("DELETE FROM meta WHERE key LIKE 'transcript\\_hash:%' ESCAPE '\\' "
               "OR key LIKE 'article\\_version:%' ESCAPE '\\'");
        db.run("DELETE FROM screen_capture");
        db.run("DELETE FROM visual_frame");
        db.run("DELETE FROM visual_session");
        bumpEpoch();
    });
    // Every session folder now lacks its row.
    sweepVisualOrphans();
}

std::optional<Date> MemoryStore::lastPurge() {
    auto text = meta(lastPurgeKey);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace brell
