// Reading sources, chunks and exposure, and the links that open a passage.
#include "BrellMemory/db/MemoryStore.h"

#include "addresses/PageIdentity.h"
#include "addresses/TextFragment.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* sourceHead =
    "SELECT s.*, coalesce(sum(se.active_wall_ms), 0) AS wall, coalesce(sum(se.played_wall_ms), 0) AS played, "
    "count(se.id) AS sessions\nFROM source s LEFT JOIN session se ON se.source_id = s.id";

} // namespace

MemorySource MemoryStore::sourceFrom(const SQLiteDB::Row& row) {
    MemorySource s;
    s.id = row.integer("id");
    s.key = row.text("key");
    s.kind = row.text("kind");
    s.url = row.text("url");
    s.title = row.text("title");
    s.origin = row.text("origin");
    s.firstSeen = row.real("first_seen");
    s.lastSeen = row.real("last_seen");
    s.muted = row.boolean("muted");
    s.transcriptStatus = row.text("transcript_status");
    s.commentsStatus = row.text("comments_status");
    s.activeWallMs = row.integer("wall");
    s.playedWallMs = row.integer("played");
    s.sessionCount = row.integer("sessions");
    return s;
}

std::optional<MemorySource> MemoryStore::source(int64_t id) {
    auto row = db.one(std::string(sourceHead) + " WHERE s.id = ? GROUP BY s.id", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return sourceFrom(*row);
}

std::optional<MemorySource> MemoryStore::source(std::string_view key) {
    auto row = db.one("SELECT id FROM source WHERE key = ?", {Value(key)});
    if (!row) {
        return std::nullopt;
    }
    return source(row->integer("id"));
}

std::vector<MemorySource> MemoryStore::sources(std::optional<std::string> kind, bool includeMuted) {
    std::vector<std::string> conditions;
    SQLiteDB::Params params;
    if (kind) {
        conditions.emplace_back("s.kind = ?");
        params.emplace_back(*kind);
    }
    if (!includeMuted) {
        conditions.emplace_back("s.muted = 0");
    }
    std::string sql = sourceHead;
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        sql += (i == 0 ? " WHERE " : " AND ") + conditions[i];
    }
    sql += " GROUP BY s.id ORDER BY s.last_seen DESC";
    std::vector<MemorySource> out;
    for (const auto& row : db.query(sql, params)) {
        out.push_back(sourceFrom(row));
    }
    return out;
}

ChunkRecord MemoryStore::chunkFrom(const SQLiteDB::Row& row) {
    ChunkRecord c;
    c.id = row.integer("id");
    c.sourceID = row.integer("source_id");
    c.sourceKey = row.text("s_key");
    c.sourceKind = row.text("s_kind");
    c.sourceTitle = row.text("s_title");
    c.sourceURL = row.text("s_url");
    c.sourceOrigin = row.text("s_origin");
    c.kind = row.text("kind");
    c.text = row.text("text");
    c.heading = row.optText("heading");
    c.locator = row.text("locator");
    c.startMs = row.optInt("start_ms");
    c.endMs = row.optInt("end_ms");
    c.cues = ChunkRecord::decodeCues(row.optText("cues"));
    c.provenance = row.text("provenance");
    c.contentHash = row.text("content_hash");
    c.retrievedAt = row.real("retrieved_at");
    return c;
}

std::optional<ChunkRecord> MemoryStore::chunk(int64_t id) {
    auto row = db.one(std::string(ChunkRecord::selectHead) + " WHERE c.id = ? AND c.available = 1", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return chunkFrom(*row);
}

std::vector<ChunkRecord> MemoryStore::chunks(int64_t sourceID, std::optional<std::string> kind) {
    std::vector<SQLiteDB::Row> rows =
        kind ? db.query(std::string(ChunkRecord::selectHead) +
                            " WHERE c.source_id = ? AND c.kind = ? ORDER BY c.start_ms, c.id",
                        {Value(sourceID), Value(*kind)})
             : db.query(std::string(ChunkRecord::selectHead) +
                            " WHERE c.source_id = ? ORDER BY c.kind, c.start_ms, c.id",
                        {Value(sourceID)});
    std::vector<ChunkRecord> out;
    out.reserve(rows.size());
    for (const auto& row : rows) {
        out.push_back(chunkFrom(row));
    }
    return out;
}

bool MemoryStore::hasSessions(int64_t sourceID) {
    return db.one("SELECT count(*) AS n FROM session WHERE source_id = ?", {Value(sourceID)})->integer("n") > 0;
}

std::vector<Range> MemoryStore::observedRanges(int64_t sourceID, std::string_view kind) {
    std::vector<Range> ranges;
    for (const auto& row :
         db.query("SELECT e.start_ms, e.end_ms FROM exposure e JOIN session s ON s.id = e.session_id\n"
                  "WHERE s.source_id = ? AND e.kind = ? ORDER BY e.start_ms",
                  {Value(sourceID), Value(kind)})) {
        ranges.push_back({row.integer("start_ms"), row.integer("end_ms")});
    }
    return Intervals::merge(std::move(ranges), config.rangeMergeGapMs);
}

std::vector<std::pair<std::string, std::string>> MemoryStore::observedAnchors(int64_t sourceID) {
    std::vector<std::pair<std::string, std::string>> anchors;
    for (const auto& row : db.query("SELECT DISTINCT e.locator, e.label FROM exposure e JOIN session s ON s.id = "
                                    "e.session_id\nWHERE s.source_id = ? AND e.kind = 'anchor'",
                                    {Value(sourceID)})) {
        anchors.emplace_back(row.text("locator"), row.text("label"));
    }
    return anchors;
}

std::optional<ExposureLabel> MemoryStore::exposure(const ChunkRecord& chunk, std::optional<int64_t> cueMs) {
    if (chunk.kind == "comment") {
        return ExposureLabel::fromComments;
    }
    if (chunk.kind == "transcript") {
        if (!hasSessions(chunk.sourceID)) {
            return ExposureLabel::uncertain;
        }
        std::vector<Range> watched = observedRanges(chunk.sourceID, "range");
        int64_t a = 0;
        int64_t e = 0;
        if (cueMs) {
            a = *cueMs;
            std::optional<int64_t> next;
            for (const auto& cue : chunk.cues) {
                if (cue.size() >= 2 && cue[1] > a) {
                    next = cue[1];
                    break;
                }
            }
            e = next ? *next : chunk.endMs.value_or(a + 1000);
        } else {
            a = chunk.startMs.value_or(0);
            e = chunk.endMs.value_or(a + 1000);
        }
        int64_t f = Intervals::covered({a, e}, watched);
        double length = static_cast<double>(e - a < 2 ? 1 : e - a);
        if (static_cast<double>(f) / length >= 0.5) {
            return ExposureLabel::playedWhileVisible;
        }
        int64_t g = Intervals::covered({a, e}, observedRanges(chunk.sourceID, "played"));
        if (static_cast<double>(std::max(f, g)) / length >= 0.5) {
            return ExposureLabel::playedInBackground;
        }
        return f > 0 || g > 0 ? ExposureLabel::uncertain : ExposureLabel::outsideObservedPlayback;
    }
    if (chunk.kind == "article") {
        if (!hasSessions(chunk.sourceID)) {
            return ExposureLabel::uncertain;
        }
        auto anchors = observedAnchors(chunk.sourceID);
        if (anchors.empty()) {
            return ExposureLabel::uncertain;
        }
        for (const auto& [locator, label] : anchors) {
            if (locator == chunk.locator) {
                return ExposureLabel::articleSectionInView;
            }
        }
        return ExposureLabel::articleSectionNotObserved;
    }
    return std::nullopt;
}

std::string MemoryStore::openURL(const ChunkRecord& chunk, std::optional<int64_t> cueMs,
                                 std::optional<std::string> excerpt) {
    if (chunk.kind == "transcript") {
        int64_t ms = cueMs ? *cueMs : chunk.startMs.value_or(0);
        return chunk.sourceURL + "#t=" + std::to_string(ms / 1000) + "s";
    }
    if (chunk.kind == "comment" && chunk.provenance == "api" && chunk.locator.rfind("c:", 0) == 0) {
        return chunk.sourceURL + "&lc=" + chunk.locator.substr(2);
    }
    if (chunk.kind == "article") {
        std::string quote = excerpt ? *excerpt : Text::prefixCharacters(chunk.text, 160);
        return TextFragment::url(chunk.sourceURL, quote).value_or(chunk.sourceURL);
    }
    return chunk.sourceURL;
}

std::optional<std::string> MemoryStore::sourceKey(std::string_view page) {
    return PageIdentity::sourceKey(page);
}

} // namespace brell
