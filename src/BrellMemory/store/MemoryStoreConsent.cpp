// Consent switches, the capture epoch and approved origins.
#include "BrellMemory/db/MemoryStore.h"

#include <charconv>

#include "addresses/URLComponents.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// The video site's own origins: its pages follow the YouTube switch, never approval.
bool isVideoSiteOrigin(const std::string& origin) {
    return origin == "https://youtube.com" || origin == "https://www.youtube.com";
}

std::optional<double> parseDecimal(const std::string& text) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

void MemoryStore::bumpEpoch() {
    db.run("UPDATE consent SET epoch = epoch + 1, updated_at = ? WHERE id = 1", {Value(now())});
}

MemoryState MemoryStore::state() {
    auto consent = db.one("SELECT * FROM consent WHERE id = 1");
    if (!consent) {
        throw SQLiteDB::DBError(0, "consent row missing");
    }
    MemoryState s;
    s.decided = consent->boolean("decided");
    s.enabled = consent->boolean("enabled");
    s.paused = consent->boolean("paused");
    s.epoch = consent->integer("epoch");
    s.youtube = consent->boolean("youtube");
    s.providerConsent = consent->boolean("provider_consent");
    s.proactive = consent->boolean("proactive");
    s.retentionDays = consent->integer("retention_days");
    s.screen = consent->boolean("screen");
    s.snoozeUntil = consent->optReal("snooze_until");
    for (const auto& row : db.query("SELECT * FROM allowed_origin ORDER BY origin")) {
        s.origins.push_back(
            AllowedOrigin{row.text("origin"), row.boolean("index_text"), row.boolean("muted"), row.real("granted_at")});
    }
    if (auto seen = db.one("SELECT value FROM meta WHERE key = 'host_last_seen'")) {
        if (auto text = seen->optText("value")) {
            s.hostLastSeen = parseDecimal(*text);
        }
    }
    return s;
}

void MemoryStore::decide(bool enable, bool youtube) {
    db.transaction([&] {
        db.run("UPDATE consent SET decided = 1, enabled = ?, paused = 0, youtube = ?, updated_at = ? WHERE id = 1",
               {Value(enable), Value(enable && youtube), Value(now())});
        bumpEpoch();
    });
}

void MemoryStore::setEnabled(bool on) {
    db.transaction([&] {
        db.run("UPDATE consent SET decided = 1, enabled = ?, paused = 0 WHERE id = 1", {Value(on)});
        bumpEpoch();
    });
}

void MemoryStore::setPaused(bool on) {
    db.transaction([&] {
        db.run("UPDATE consent SET paused = ? WHERE id = 1", {Value(on)});
        bumpEpoch();
    });
}

void MemoryStore::setYouTube(bool on) {
    db.transaction([&] {
        db.run("UPDATE consent SET youtube = ? WHERE id = 1", {Value(on)});
        bumpEpoch();
    });
}

void MemoryStore::setProviderConsent(bool on) {
    db.run("UPDATE consent SET provider_consent = ?, updated_at = ? WHERE id = 1", {Value(on), Value(now())});
}

void MemoryStore::setProactive(bool on) {
    db.run("UPDATE consent SET proactive = ?, updated_at = ? WHERE id = 1", {Value(on), Value(now())});
}

void MemoryStore::snooze(std::optional<Date> until) {
    db.run("UPDATE consent SET snooze_until = ? WHERE id = 1", {Value(until)});
}

std::optional<std::string> MemoryStore::approveOrigin(std::string_view origin, bool indexText) {
    auto canonical = canonicalOrigin(origin);
    if (!canonical || isVideoSiteOrigin(*canonical)) {
        return std::nullopt;
    }
    db.transaction([&] {
        db.run("INSERT INTO allowed_origin(origin, index_text, granted_at) VALUES (?, ?, ?) "
               "ON CONFLICT(origin) DO UPDATE SET index_text = excluded.index_text, muted = 0",
               {Value(*canonical), Value(indexText), Value(now())});
        bumpEpoch();
    });
    return canonical;
}

void MemoryStore::revokeOrigin(std::string_view origin, bool deletePastData) {
    auto canonical = canonicalOrigin(origin);
    if (!canonical) {
        return;
    }
    db.transaction([&] {
        db.run("DELETE FROM allowed_origin WHERE origin = ?", {Value(*canonical)});
        if (deletePastData) {
            for (const auto& row :
                 db.query("SELECT id FROM source WHERE origin = ? AND kind = 'article'", {Value(*canonical)})) {
                deleteSourceRows(row.integer("id"));
            }
        }
        bumpEpoch();
    });
}

void MemoryStore::deleteSourceRows(int64_t id) {
    withdrawInsightsCiting(id);
    db.run("DELETE FROM source WHERE id = ?", {Value(id)});
    // The digests of its stored text go too: SQLite may give a later source the same id,
    // and a leftover digest would make that source's first text look already stored.
    db.run("DELETE FROM meta WHERE key IN ('transcript_hash:' || ?1, 'article_version:' || ?1)", {Value(id)});
}

void MemoryStore::touchHost() noexcept {
    try {
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES ('host_last_seen', ?)", {Value(dateText(now()))});
    } catch (...) {
        // Best effort: a busy database must not fail the message that noted the visit.
    }
}

std::optional<std::string> MemoryStore::canonicalOrigin(std::string_view text) {
    auto url = URLComponents::parse(Text::trim(text));
    if (!url || !url->scheme || Text::lower(*url->scheme) != "https") {
        return std::nullopt;
    }
    if (!url->host) {
        return std::nullopt;
    }
    std::string host = Text::lower(*url->host);
    if (host.empty() || host.find('.') == std::string::npos || isLocalHost(host)) {
        return std::nullopt;
    }
    if (!url->port || *url->port == 443) {
        return "https://" + host;
    }
    return "https://" + host + ":" + std::to_string(*url->port);
}

bool MemoryStore::isLocalHost(std::string_view host) {
    auto endsWith = [&](std::string_view suffix) {
        return host.size() >= suffix.size() && host.substr(host.size() - suffix.size()) == suffix;
    };
    if (host == "localhost" || endsWith(".local") || endsWith(".localhost") || endsWith(".internal")) {
        return true;
    }
    std::vector<long long> numbers;
    for (const auto& piece : Text::split(host, '.')) {
        if (piece.empty()) {
            continue;
        }
        long long n = 0;
        auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), n, 10);
        if (error == std::errc() && end == piece.data() + piece.size()) {
            numbers.push_back(n);
        }
    }
    if (numbers.size() == 4) {
        long long a = numbers[0];
        long long b = numbers[1];
        if (a == 10 || a == 127 || (a == 169 && b == 254) || (a == 172 && b >= 16 && b <= 31) ||
            (a == 192 && b == 168)) {
            return true;
        }
    }
    return host.find(':') != std::string_view::npos;
}

} // namespace brell
