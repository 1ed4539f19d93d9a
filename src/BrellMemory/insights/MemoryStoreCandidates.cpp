// The insight engine's side of the store: the task context, the evidence pack, storing
// a candidate and the daily model budget.
#include "BrellMemory/db/MemoryStore.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "BrellMemory/insights/Scoring.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/store/Timecode.h"
#include "util/DateFormat.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// Characters of a passage's opening words that decide its group.
constexpr std::size_t groupKeyCharacters = 160;
// Most passages one source gives a pack.
constexpr int64_t perSourceExcerpts = 3;

// A decimal count; nothing when the text is not one.
std::optional<int64_t> decimal(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

std::string whereLabel(const SearchHit& hit) {
    const ChunkRecord& chunk = hit.chunk;
    if (chunk.kind == "transcript") {
        return Timecode::format(hit.cueMs.value_or(chunk.startMs.value_or(0)));
    }
    if (chunk.kind == "article") {
        return chunk.heading && !chunk.heading->empty() ? *chunk.heading : "article text";
    }
    return "comment";
}

} // namespace

std::optional<TaskContext> MemoryStore::taskContext(int64_t projectID) {
    auto p = project(projectID);
    if (!p || !p->task || !p->task->isActive()) {
        return std::nullopt;
    }
    return TaskContext{p->id, p->task->id, p->task->revision, p->name, p->task->title, p->task->objective, p->keywords};
}

std::vector<Excerpt> MemoryStore::evidencePack(const TaskContext& task) {
    std::vector<SearchHit> hits = searchChunks(task.queryText(), config.searchChunkLimit,
                                               std::vector<std::string>{"transcript", "comment", "article"});
    std::vector<int64_t> admitted;
    std::map<int64_t, int64_t> perSource;
    std::map<std::string, std::string> groups;
    std::vector<Excerpt> pack;
    for (const SearchHit& hit : hits) {
        if (static_cast<int64_t>(pack.size()) >= config.evidenceMaxExcerpts) {
            break;
        }
        int64_t source = hit.chunk.sourceID;
        if (std::find(admitted.begin(), admitted.end(), source) == admitted.end()) {
            if (static_cast<int64_t>(admitted.size()) >= config.evidenceMaxSources) {
                continue;
            }
            admitted.push_back(source);
        }
        if (perSource[source] >= perSourceExcerpts) {
            continue;
        }
        std::string key;
        for (const auto& word : QueryTerms::words(hit.excerpt)) {
            key += (key.empty() ? "" : " ") + word;
        }
        key = Text::prefixCharacters(key, groupKeyCharacters);
        auto group = groups.try_emplace(key, "s" + std::to_string(source)).first->second;

        Excerpt e;
        e.chunkID = hit.chunk.id;
        e.sourceID = source;
        e.group = group;
        e.kind = hit.chunk.kind;
        e.sourceTitle = hit.chunk.sourceTitle;
        e.whereLabel = whereLabel(hit);
        e.exposure = exposure(hit.chunk, hit.cueMs);
        e.text = hit.excerpt;
        e.provenance = hit.chunk.provenance;
        pack.push_back(std::move(e));
        ++perSource[source];
    }
    return pack;
}

std::string MemoryStore::fingerprint(int64_t taskID, std::string_view relationship, std::vector<int64_t> chunkIDs) {
    std::sort(chunkIDs.begin(), chunkIDs.end());
    std::string ids;
    for (int64_t id : chunkIDs) {
        ids += (ids.empty() ? "" : ",") + std::to_string(id);
    }
    return sha(std::to_string(taskID) + "|" + std::string(relationship) + "|" + ids);
}

std::optional<int64_t> MemoryStore::saveCandidate(const CandidateDraft& draft, const TaskContext& task,
                                                  const std::vector<Excerpt>& pack, bool timingNow) {
    std::vector<std::string> suppressed = suppressedSignatures(task.projectID);
    ScoreBreakdown breakdown = Scoring::score(draft, task, pack, suppressed, timingNow, config);
    Scoring::Eligibility verdict = Scoring::eligible(breakdown, config);
    if (draft.origin == "template") {
        verdict.eligible = false;
        verdict.holdReason = verdict.holdReason.value_or("low_value");
    }
    std::vector<int64_t> chunkIDs;
    std::vector<std::string> hashes;
    for (const auto& e : draft.evidence) {
        chunkIDs.push_back(e.chunkID);
        if (auto c = chunk(e.chunkID)) {
            hashes.push_back(c->contentHash);
        }
    }
    std::string relationship = rawValue(draft.relationship);
    std::string fp = fingerprint(task.taskID, relationship, chunkIDs);
    std::sort(hashes.begin(), hashes.end());
    std::string joined;
    for (const auto& h : hashes) {
        joined += (joined.empty() ? "" : ",") + h;
    }
    std::string evidenceHash = sha(joined);
    std::string detail = JsonText::compact(breakdown.toJson()).value_or("{}");
    int64_t epoch = state().epoch;

    return db.transaction([&]() -> std::optional<int64_t> {
        auto existing = db.one("SELECT id, status, evidence_hash FROM insight WHERE project_id = ? AND fingerprint = ?",
                               {Value(task.projectID), Value(fp)});
        if (existing) {
            std::string status = existing->text("status");
            bool replaceable = status == "new" || status == "withdrawn" ||
                               ((status == "dismissed" || status == "not_relevant") &&
                                existing->text("evidence_hash") != evidenceHash);
            if (!replaceable) {
                return std::nullopt;
            }
            db.run("DELETE FROM insight WHERE id = ?", {Value(existing->integer("id"))});
        }
        db.run("INSERT INTO insight(project_id, task_id, task_revision, fingerprint, action_signature, evidence_hash, "
               "relationship, title, why_now, next_step,\n    expected_outcome, uncertainty, origin, model, score, "
               "score_detail, eligible, hold_reason, status, consent_epoch, created_at)\n"
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'new', ?, ?)",
               {Value(task.projectID),
                Value(task.taskID),
                Value(task.revision),
                Value(fp),
                Value(Scoring::signature(draft.nextStep)),
                Value(evidenceHash),
                Value(relationship),
                Value(draft.title),
                Value(draft.whyNow),
                Value(draft.nextStep),
                Value(draft.expectedOutcome),
                Value(draft.uncertainty),
                Value(draft.origin),
                Value(draft.model),
                Value(breakdown.total),
                Value(detail),
                Value(verdict.eligible),
                Value(verdict.holdReason),
                Value(epoch),
                Value(now())});
        int64_t id = db.lastInsertID();
        for (std::size_t i = 0; i < draft.evidence.size(); ++i) {
            const CandidateEvidence& e = draft.evidence[i];
            db.run("INSERT INTO insight_evidence(insight_id, chunk_id, role, claim, verdict, position) "
                   "VALUES (?, ?, ?, ?, ?, ?)",
                   {Value(id), Value(e.chunkID), Value(e.role), Value(e.claim), Value(e.verdict),
                    Value(static_cast<int64_t>(i))});
        }
        return id;
    });
}

std::string MemoryStore::modelBudgetKey() {
    return "model_jobs:" + DateFormat::format(now(), "yyyy-MM-dd");
}

int64_t MemoryStore::modelJobsLeft() noexcept {
    int64_t used = 0;
    try {
        used = decimal(meta(modelBudgetKey())).value_or(0);
    } catch (...) {
        used = 0;
    }
    return std::max<int64_t>(0, config.modelDailyBudget - used);
}

void MemoryStore::consumeModelJob() {
    // Read and written under the write lock, so two processes never count one job.
    db.transaction([&] {
        std::string key = modelBudgetKey();
        int64_t used = decimal(meta(key)).value_or(0);
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)", {Value(key), Value(std::to_string(used + 1))});
    });
}

} // namespace brell
