#pragma once
// A memory with sources, passages, projects and insights written as the companion and
// the insight engine leave them, on a clock the test moves, and readers of the
// insights' states.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "BrellMemory/db/MemoryStore.h"

namespace brell::test {

struct InsightMemory {
    using Value = SQLiteDB::Value;

    Date clock = 1'800'000'000.0; // 2027-01-15, around midday in most time zones
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};
    int next = 0;

    // A video ("youtube:" key) or an article of https://example.com.
    int64_t addSource(const std::string& kind, const std::string& title) {
        ++next;
        std::string n = std::to_string(next);
        bool video = kind == "video";
        std::string id = "vid" + std::string(8 - n.size(), '0') + n; // 11 characters
        store.db.run("INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)",
                     {Value(video ? "youtube:" + id : "article:https://example.com/p" + n), Value(kind),
                      Value(video ? "https://www.youtube.com/watch?v=" + id : "https://example.com/p" + n),
                      Value(title), Value(video ? "https://www.youtube.com" : "https://example.com"), Value(clock),
                      Value(clock)});
        return store.db.lastInsertID();
    }

    struct Chunk {
        std::string kind = "transcript";
        std::string text = "passage words";
        std::optional<std::string> heading = {};
        std::optional<int64_t> startMs = {};
        std::optional<std::string> cues = {};
        std::string provenance = "captured";
        bool available = true;
    };
    int64_t addChunk(int64_t sourceID, const Chunk& c) {
        ++next;
        store.db.run("INSERT INTO chunk(source_id, kind, text, heading, locator, start_ms, end_ms, cues, "
                     "retrieved_at, content_hash, provenance, available) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                     {Value(sourceID), Value(c.kind), Value(c.text), Value(c.heading),
                      Value("l" + std::to_string(next)), Value(c.startMs),
                      Value(c.startMs ? std::optional<int64_t>(*c.startMs + 30000) : std::nullopt), Value(c.cues),
                      Value(clock), Value(MemoryStore::sha(c.text + std::to_string(next))), Value(c.provenance),
                      Value(c.available)});
        return store.db.lastInsertID();
    }

    // A project with an active task; returns (project, task).
    std::pair<int64_t, int64_t> addProject(const std::string& name, const std::string& task = "Fix sour shots") {
        int64_t project = store.createProject(name, "");
        auto t = store.setTask(project, task, "");
        EXPECT_TRUE(t);
        return {project, t ? t->id : 0};
    }

    struct Row {
        std::string status = "new";
        std::vector<int64_t> chunks = {};
        double score = 0.9;
        bool eligible = true;
        std::string nextStep = "compare the grind";
        std::string signature = "compar grind";
        std::optional<std::string> holdReason = {};
        std::optional<int64_t> revision = {}; // the task's revision by default
        std::vector<std::string> claims = {};
    };
    // An insight row of the project's current task, citing `chunks` in order.
    int64_t addInsight(int64_t project, const Row& r) {
        auto task = store.currentTask(project);
        EXPECT_TRUE(task);
        ++next;
        store.db.run("INSERT INTO insight(project_id, task_id, task_revision, fingerprint, action_signature, "
                     "evidence_hash, relationship, title, why_now, next_step, origin, score, score_detail, eligible, "
                     "hold_reason, status, consent_epoch, created_at) VALUES (?, ?, ?, ?, ?, 'e', 'diagnosis', "
                     "'Title', 'Why', ?, 'model', ?, '{}', ?, ?, ?, 1, ?)",
                     {Value(project), Value(task->id), Value(r.revision.value_or(task->revision)),
                      Value("f" + std::to_string(next)), Value(r.signature), Value(r.nextStep), Value(r.score),
                      Value(r.eligible), Value(r.holdReason), Value(r.status), Value(clock + next)});
        int64_t id = store.db.lastInsertID();
        for (std::size_t i = 0; i < r.chunks.size(); ++i) {
            std::optional<std::string> claim;
            if (i < r.claims.size()) {
                claim = r.claims[i];
            }
            store.db.run("INSERT INTO insight_evidence(insight_id, chunk_id, role, claim, position) "
                         "VALUES (?, ?, 'symptom', ?, ?)",
                         {Value(id), Value(r.chunks[i]), Value(claim), Value(static_cast<int64_t>(i))});
        }
        return id;
    }

    // "status" or "status/hold reason", with eligible checked against withdrawal.
    std::string state(int64_t insightID) {
        auto row = store.db.one("SELECT status, eligible, hold_reason FROM insight WHERE id = ?", {Value(insightID)});
        if (!row) {
            return "gone";
        }
        std::string s = row->text("status");
        if (s == "withdrawn") {
            s += "/" + row->optText("hold_reason").value_or("-");
            if (row->integer("eligible") != 0) {
                s += "/eligible";
            }
        }
        return s;
    }
};

} // namespace brell::test
