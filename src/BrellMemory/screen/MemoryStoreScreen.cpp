// Screen memory: recording readings of the front window and reading them back.
#include "BrellMemory/db/MemoryStore.h"

#include <limits>
#include <map>
#include <unordered_set>

#include "BrellMemory/recall/QueryTerms.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* excludedKey = "screen_excluded";
// Without the full-text index only this many terms become LIKE patterns.
constexpr std::size_t fallbackTerms = 6;
constexpr std::size_t chunkTextCharacters = 3000;

// `limit` × `factor` without overflowing.
int64_t times(int64_t limit, int64_t factor) {
    if (limit > std::numeric_limits<int64_t>::max() / factor) {
        return std::numeric_limits<int64_t>::max();
    }
    return limit * factor;
}

Date dateValue(const Value& value) {
    return value.isReal() || value.isInteger() ? value.real().value_or(0) : 0;
}

std::vector<ScreenCapture> capturesFrom(const std::vector<SQLiteDB::Row>& rows) {
    std::vector<ScreenCapture> out;
    out.reserve(rows.size());
    for (const auto& row : rows) {
        out.push_back(MemoryStore::screenFrom(row));
    }
    return out;
}

} // namespace

std::string MemoryStore::RecordResult::description() const {
    switch (kind) {
    case Kind::inserted:
        return "inserted " + std::to_string(id);
    case Kind::extended:
        return "extended " + std::to_string(id);
    case Kind::skipped:
        break;
    }
    return "skipped";
}

MemoryStore::RecordResult MemoryStore::recordScreen(std::string_view bundleID, std::string_view appName,
                                                    std::string_view windowTitle, const std::optional<std::string>& url,
                                                    std::string_view text) {
    MemoryState s = state();
    if (!s.capturing() || !s.screen) {
        return RecordResult::skipped();
    }
    if (excludedApps().contains(bundleID)) {
        return RecordResult::skipped();
    }
    std::string kept = Text::prefixCharacters(Text::trim(text), ScreenCapture::maxTextCharacters);
    if (kept.size() < ScreenCapture::minTextCharacters ||
        Text::characterCount(kept) < ScreenCapture::minTextCharacters) {
        return RecordResult::skipped();
    }
    std::string title = Text::prefixCharacters(windowTitle, ScreenCapture::maxTitleCharacters);
    std::string hash = sha(kept);

    auto latest = db.one("SELECT id, text, text_hash FROM screen_capture WHERE app_bundle = ? AND window_title = ? "
                         "ORDER BY last_at DESC LIMIT 1",
                         {Value(bundleID), Value(title)});
    if (latest && (latest->text("text_hash") == hash || ScreenPolicy::similar(latest->text("text"), kept))) {
        int64_t id = latest->integer("id");
        if (latest->text("text") == kept && latest->text("text_hash") == hash) {
            // The window shows what it showed: only the time moves. Leaving text out of
            // the update spares the full-text index a delete and a re-insert of the
            // same words, which is most of what a polling reader sends.
            db.run("UPDATE screen_capture SET last_at = ? WHERE id = ?", {Value(now()), Value(id)});
        } else {
            db.run("UPDATE screen_capture SET last_at = ?, text = ?, text_hash = ? WHERE id = ?",
                   {Value(now()), Value(kept), Value(hash), Value(id)});
        }
        return RecordResult::extended(id);
    }
    std::optional<std::string> address = url && !url->empty() ? url : std::nullopt;
    Date at = now();
    db.run("INSERT INTO screen_capture(at, last_at, app_bundle, app_name, window_title, url, text, text_hash) "
           "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
           {Value(at), Value(at), Value(bundleID), Value(appName), Value(title), Value(address), Value(kept),
            Value(hash)});
    return RecordResult::inserted(db.lastInsertID());
}

std::vector<ScreenCapture> MemoryStore::screenCaptures(std::optional<Date> since, int64_t limit, bool messagingOnly) {
    if (limit < 1) {
        return {};
    }
    auto rows = db.query("SELECT * FROM screen_capture WHERE last_at >= ? ORDER BY last_at DESC LIMIT ?",
                         {Value(since.value_or(0.0)), Value(messagingOnly ? times(limit, 5) : limit)});
    std::vector<ScreenCapture> out;
    for (const auto& row : rows) {
        if (static_cast<int64_t>(out.size()) == limit) {
            break;
        }
        ScreenCapture capture = screenFrom(row);
        if (!messagingOnly || ScreenPolicy::isMessaging(capture.bundleID, capture.windowTitle)) {
            out.push_back(std::move(capture));
        }
    }
    return out;
}

std::vector<ScreenCapture> MemoryStore::searchScreen(std::string_view query, int64_t limit) {
    if (limit < 1) {
        return {};
    }
    std::vector<std::string> terms = QueryTerms::terms(query).expanded;
    if (terms.empty()) {
        return {};
    }
    if (db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'screen_fts'")) {
        // Each term becomes one quoted string, so no word of the user's is read as
        // full-text syntax.
        std::string expression;
        for (const auto& term : terms) {
            std::string bare;
            for (char c : term) {
                if (c != '"') {
                    bare += c;
                }
            }
            expression += (expression.empty() ? "\"" : " OR \"") + bare + "\"";
        }
        return capturesFrom(db.query("SELECT s.* FROM screen_fts JOIN screen_capture s ON s.id = screen_fts.rowid\n"
                                     "WHERE screen_fts MATCH ? ORDER BY bm25(screen_fts) LIMIT ?",
                                     {Value(expression), Value(limit)}));
    }
    if (terms.size() > fallbackTerms) {
        terms.resize(fallbackTerms);
    }
    std::string sql = "SELECT * FROM screen_capture WHERE ";
    SQLiteDB::Params params;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        sql += i == 0 ? "text LIKE ?" : " OR text LIKE ?";
        params.emplace_back("%" + terms[i] + "%");
    }
    sql += " ORDER BY last_at DESC LIMIT ?";
    params.emplace_back(limit);
    return capturesFrom(db.query(sql, params));
}

std::vector<ScreenGroup> MemoryStore::screenGroups(int64_t limit) {
    if (limit < 1) {
        return {};
    }
    std::vector<ScreenGroup> out;
    for (const auto& row : db.query("SELECT topic, COUNT(*) AS n, MAX(last_at) AS last FROM screen_capture\n"
                                    "WHERE topic IS NOT NULL AND topic != '' GROUP BY topic ORDER BY last DESC LIMIT ?",
                                    {Value(limit)})) {
        out.push_back(ScreenGroup{row.text("topic"), row.integer("n"), dateValue(row["last"])});
    }
    return out;
}

std::optional<ScreenCapture> MemoryStore::screenCapture(int64_t id) {
    auto row = db.one("SELECT * FROM screen_capture WHERE id = ?", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return screenFrom(*row);
}

void MemoryStore::setScreenSummary(int64_t id, std::string_view summary, const std::optional<std::string>& group) {
    db.run("UPDATE screen_capture SET summary = ?, summary_hash = text_hash, topic = COALESCE(?, topic) WHERE id = ?",
           {Value(summary), Value(group), Value(id)});
}

void MemoryStore::setScreenGroup(int64_t id, const std::optional<std::string>& group) {
    std::optional<std::string> topic = group && !group->empty() ? group : std::nullopt;
    db.run("UPDATE screen_capture SET topic = ? WHERE id = ?", {Value(topic), Value(id)});
}

void MemoryStore::deleteScreenCapture(int64_t id) {
    db.run("DELETE FROM screen_capture WHERE id = ?", {Value(id)});
}

void MemoryStore::clearScreenMemory() {
    db.run("DELETE FROM screen_capture");
}

void MemoryStore::setScreen(bool on) {
    db.run("UPDATE consent SET screen = ?, updated_at = ? WHERE id = 1", {Value(on ? 1 : 0), Value(now())});
}

ScreenPolicy::BundleSet MemoryStore::excludedApps() {
    ScreenPolicy::BundleSet out = ScreenPolicy::alwaysExcluded();
    std::optional<std::string> extra;
    try {
        extra = meta(excludedKey);
    } catch (const SQLiteDB::DBError&) {
        // An unreadable list excludes nothing more.
    }
    if (extra) {
        for (auto& piece : Text::split(*extra, ',')) {
            if (!piece.empty()) {
                out.insert(std::move(piece));
            }
        }
    }
    return out;
}

void MemoryStore::setExtraExcludedApps(const std::vector<std::string>& bundleIDs) {
    const auto& always = ScreenPolicy::alwaysExcluded();
    std::string joined;
    bool first = true;
    for (const auto& id : bundleIDs) {
        if (always.contains(id)) {
            continue;
        }
        joined += (first ? "" : ",") + id;
        first = false;
    }
    db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(excludedKey), Value(joined)});
}

std::vector<ScreenGlimpse> MemoryStore::screenGlimpses(std::string_view matching, int64_t limit) {
    if (limit < 1) {
        return {};
    }
    const int64_t fetch = times(limit, 8);
    std::string query = Text::trim(matching);
    std::vector<ScreenCapture> candidates;
    if (query.empty()) {
        candidates = screenCaptures(std::nullopt, fetch, false);
    } else {
        std::vector<ScreenCapture> hits = searchScreen(query, fetch);
        std::string folded = Text::fold(query);
        for (const auto& group : screenGroups(200)) {
            if (Text::fold(group.name) != folded) {
                continue;
            }
            candidates =
                capturesFrom(db.query("SELECT * FROM screen_capture WHERE topic = ? ORDER BY last_at DESC LIMIT ?",
                                      {Value(group.name), Value(fetch)}));
            break;
        }
        std::unordered_set<int64_t> listed;
        for (const auto& c : candidates) {
            listed.insert(c.id);
        }
        for (auto& hit : hits) {
            if (!listed.contains(hit.id)) {
                candidates.push_back(std::move(hit));
            }
        }
    }

    std::vector<ScreenGlimpse> glimpses;
    std::map<std::string, std::size_t, std::less<>> byKey;
    for (const auto& c : candidates) {
        if (ScreenPolicy::isMessaging(c.bundleID, c.windowTitle) ||
            ScreenPolicy::assistantApps().contains(c.bundleID)) {
            continue;
        }
        std::string key = c.bundleID + "|" + (c.url ? *c.url : c.windowTitle);
        auto known = byKey.find(key);
        if (known == byKey.end()) {
            if (static_cast<int64_t>(glimpses.size()) < limit) {
                byKey.emplace(std::move(key), glimpses.size());
                glimpses.push_back(ScreenGlimpse{c.appName, c.windowTitle, ScreenGlimpse::plainAddress(c.url), c.at,
                                                 c.lastAt, c.summary, c.text, c.group});
            }
            continue;
        }
        ScreenGlimpse& g = glimpses[known->second];
        g.at = std::min(g.at, c.at);
        g.lastAt = std::max(g.lastAt, c.lastAt);
        if (!g.summary) {
            g.summary = c.summary;
        }
        if (g.title.empty()) {
            g.title = c.windowTitle;
        }
        if (!g.group) {
            g.group = c.group;
        }
    }
    return glimpses;
}

ScreenCapture MemoryStore::screenFrom(const SQLiteDB::Row& row) {
    ScreenCapture c;
    c.id = row.integer("id");
    c.at = dateValue(row["at"]);
    c.lastAt = dateValue(row["last_at"]);
    c.bundleID = row.text("app_bundle");
    c.appName = row.text("app_name");
    c.windowTitle = row.text("window_title");
    c.url = row.optText("url");
    c.text = row.text("text");
    auto summaryHash = row.optText("summary_hash");
    auto summary = row.optText("summary");
    if (summaryHash && *summaryHash == row.text("text_hash") && summary &&
        Text::characterCount(*summary) <= ScreenCapture::maxSummaryCharacters) {
        c.summary = std::move(summary);
    }
    if (auto topic = row.optText("topic"); topic && !topic->empty()) {
        c.group = std::move(topic);
    }
    return c;
}

ChunkRecord MemoryStore::screenChunk(const ScreenCapture& capture) {
    ChunkRecord chunk;
    chunk.id = capture.id;
    chunk.sourceID = -capture.id;
    chunk.sourceKey = "screen:" + capture.bundleID;
    chunk.sourceKind = "screen";
    chunk.sourceTitle = capture.label();
    chunk.sourceURL = capture.url.value_or("");
    chunk.kind = "screen";
    chunk.text = Text::prefixCharacters(capture.text, chunkTextCharacters);
    chunk.locator = "s=" + std::to_string(capture.id);
    chunk.provenance = "captured";
    chunk.retrievedAt = capture.lastAt;
    return chunk;
}

} // namespace brell
