// What memory knows of earlier visits to a page.
#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

int64_t totalMs(const std::vector<Range>& ranges) {
    int64_t total = 0;
    for (const auto& r : ranges) {
        total += r.end - r.start;
    }
    return total;
}

} // namespace

std::optional<SeenBefore> MemoryStore::seenBefore(std::string_view url, std::optional<Date> excludingSince) {
    if (!state().enabled) {
        return std::nullopt;
    }
    auto key = sourceKey(url);
    if (!key) {
        return std::nullopt;
    }
    auto found = source(std::string_view(*key));
    if (!found || found->muted) {
        return std::nullopt;
    }
    Date clock = now();
    std::string condition = excludingSince ? "s.started_at < ?" : "s.last_seen <= ?";
    Value bound = excludingSince ? Value(std::min(*excludingSince, clock)) : Value(clock - liveSessionWindow);

    auto totals = db.one("SELECT count(*) AS n, coalesce(sum(s.active_wall_ms), 0) AS wall, max(s.last_seen) AS last\n"
                         "FROM session s WHERE s.source_id = ? AND " +
                             condition,
                         {Value(found->id), bound});
    if (!totals || totals->integer("n") == 0) {
        return std::nullopt;
    }
    SeenBefore seen;
    seen.sourceID = found->id;
    seen.kind = found->kind;
    seen.title = found->title;
    seen.firstSeen = found->firstSeen;
    seen.lastSeen = totals->real("last");

    if (found->isVideo()) {
        auto ranges = [&](const char* kind) {
            std::vector<Range> out;
            for (const auto& row : db.query("SELECT e.start_ms, e.end_ms FROM exposure e JOIN session s ON s.id = "
                                            "e.session_id\nWHERE s.source_id = ? AND e.kind = ? AND " +
                                                condition + " ORDER BY e.start_ms",
                                            {Value(found->id), Value(kind), bound})) {
                out.push_back({row.integer("start_ms"), row.integer("end_ms")});
            }
            return Intervals::merge(std::move(out), config.rangeMergeGapMs);
        };
        seen.watched = ranges("range");
        for (const auto& piece : Intervals::subtract(ranges("played"), seen.watched)) {
            if (piece.end - piece.start >= config.rangeMergeGapMs) {
                seen.played.push_back(piece);
            }
        }
        if (seen.watched.empty() && seen.played.empty()) {
            return std::nullopt;
        }
        seen.watchedSeconds = totalMs(seen.watched) / 1000;
        seen.playedSeconds = totalMs(seen.played) / 1000;
    } else {
        seen.readSeconds = totals->integer("wall") / 1000;
        auto sections = db.one("SELECT count(DISTINCT e.locator) AS n FROM exposure e JOIN session s ON s.id = "
                               "e.session_id\nWHERE s.source_id = ? AND e.kind = 'anchor' AND " +
                                   condition,
                               {Value(found->id), bound});
        seen.sectionsRead = sections ? sections->integer("n") : 0;
    }
    return seen;
}

} // namespace brell
