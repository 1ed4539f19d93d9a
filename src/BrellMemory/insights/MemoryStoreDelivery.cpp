// Handing out one suggestion at a time, and checking that it still holds.
#include "BrellMemory/db/MemoryStore.h"

#include <algorithm>
#include <set>

#include "BrellMemory/insights/Scoring.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// A next step this close to one the user dealt with is a repeat.
constexpr double nearCopy = 0.6;

} // namespace

bool MemoryStore::revalidate(const Insight& insight, int64_t storedCount) {
    if (static_cast<int64_t>(insight.evidence.size()) != storedCount || storedCount < 2) {
        return false;
    }
    std::set<int64_t> muted;
    try {
        for (const auto& row : db.query("SELECT id FROM source WHERE muted = 1")) {
            muted.insert(row.integer("id"));
        }
    } catch (const std::exception&) {
        muted.clear();
    }
    std::set<int64_t> sources;
    bool commentsOnly = true;
    for (const auto& e : insight.evidence) {
        if (muted.count(e.chunk.sourceID) > 0) {
            return false;
        }
        sources.insert(e.chunk.sourceID);
        commentsOnly = commentsOnly && e.chunk.kind == "comment";
    }
    return sources.size() >= 2 && !commentsOnly;
}

MemoryStore::DeliveryResult MemoryStore::deliver(int64_t projectID, int64_t contextRevision) {
    MemoryState s = state();
    Date at = now();
    if (!s.enabled || !s.proactive) {
        return DeliveryResult::none("off");
    }
    if (s.snoozeUntil && *s.snoozeUntil > at) {
        return DeliveryResult::none("snoozed");
    }
    auto p = project(projectID);
    if (!p || p->archived || p->muted || !p->task || !p->task->isActive()) {
        return DeliveryResult::none("no_context");
    }

    // The same context gets the same card again.
    for (const auto& row : db.query("SELECT insight_id FROM delivery WHERE project_id = ? AND context_revision = ? "
                                    "ORDER BY at DESC, id DESC",
                                    {Value(projectID), Value(contextRevision)})) {
        auto shown = insight(row.integer("insight_id"));
        if (shown && shown->status == InsightStatus::shown) {
            return DeliveryResult::card(std::move(*shown));
        }
    }
    auto last = db.one("SELECT max(at) AS at FROM delivery WHERE project_id = ?", {Value(projectID)});
    if (auto lastAt = last ? last->optReal("at") : std::nullopt) {
        // A delivery dated after now means the clock was set back: it cools nothing.
        if (at >= *lastAt && at - *lastAt < config.projectCooldown) {
            return DeliveryResult::none("cooldown");
        }
    }

    auto candidates = db.query("SELECT * FROM insight WHERE project_id = ? AND task_id = ? AND task_revision = ? AND "
                               "eligible = 1 AND status = 'new'\n"
                               "ORDER BY score DESC, length(next_step) ASC, fingerprint ASC",
                               {Value(projectID), Value(p->task->id), Value(p->task->revision)});
    if (candidates.empty()) {
        return DeliveryResult::none("no_evidence");
    }
    std::vector<std::string> suppressed = suppressedSignatures(projectID);
    for (const auto& row : candidates) {
        Insight candidate = insightFrom(row);
        int64_t stored =
            db.one("SELECT count(*) AS n FROM insight_evidence WHERE insight_id = ?", {Value(candidate.id)})
                ->integer("n");
        if (!revalidate(candidate, stored)) {
            withdrawInsights("id = ?", {Value(candidate.id)}, Withdrawable::open, "stale");
            continue;
        }
        bool repeat = std::any_of(suppressed.begin(), suppressed.end(), [&](const std::string& s) {
            return Scoring::overlap(candidate.actionSignature, s) >= nearCopy;
        });
        if (repeat) {
            withdrawInsights("id = ?", {Value(candidate.id)}, Withdrawable::open, "duplicate");
            continue;
        }
        bool delivered = db.transaction([&] {
            if (db.run("INSERT OR IGNORE INTO delivery(insight_id, project_id, context_revision, channel, at) "
                       "VALUES (?, ?, ?, 'in_app', ?)",
                       {Value(candidate.id), Value(projectID), Value(contextRevision), Value(at)}) == 0) {
                return false; // already delivered for this context revision
            }
            int64_t delivery = db.lastInsertID();
            // Another process may have answered or withdrawn it since it was read.
            if (db.run("UPDATE insight SET status = 'shown', last_shown = ? WHERE id = ? AND status = 'new'",
                       {Value(at), Value(candidate.id)}) == 0) {
                db.run("DELETE FROM delivery WHERE id = ?", {Value(delivery)});
                return false;
            }
            return true;
        });
        if (delivered) {
            if (auto shown = insight(candidate.id)) {
                return DeliveryResult::card(std::move(*shown));
            }
        }
    }
    return DeliveryResult::none("stale");
}

} // namespace brell
