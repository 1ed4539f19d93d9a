// Insight records: loading them with their evidence, the user's feedback, and the one
// writer of every withdrawal.
#include "BrellMemory/db/MemoryStore.h"

#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/store/Timecode.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// Characters of an article passage its open link jumps to.
constexpr std::size_t articlePassageCharacters = 120;
// A source title longer than this is shown as its first characters and "…".
constexpr std::size_t labelTitleLimit = 36;
constexpr std::size_t labelTitleKept = 35;
constexpr std::size_t labelHeadingKept = 30;

} // namespace

int64_t MemoryStore::withdrawInsights(const std::string& condition, const SQLiteDB::Params& params, Withdrawable which,
                                      std::string_view holdReason) {
    const char* allowed =
        which == Withdrawable::open ? "status IN ('new','shown')" : "status NOT IN ('saved','useful','withdrawn')";
    SQLiteDB::Params all{Value(holdReason)};
    all.insert(all.end(), params.begin(), params.end());
    return db.run("UPDATE insight SET status = 'withdrawn', eligible = 0, hold_reason = ?\nWHERE (" + condition +
                      ") AND " + allowed,
                  all);
}

std::vector<Insight> MemoryStore::insights(int64_t projectID, const std::vector<InsightStatus>& statuses) {
    if (statuses.empty()) {
        return {};
    }
    std::string marks;
    SQLiteDB::Params params{Value(projectID)};
    for (auto status : statuses) {
        marks += marks.empty() ? "?" : ",?";
        params.push_back(Value(rawValue(status)));
    }
    std::vector<Insight> out;
    for (const auto& row : db.query("SELECT * FROM insight WHERE project_id = ? AND status IN (" + marks +
                                        ") ORDER BY eligible DESC, score DESC, created_at DESC, id DESC",
                                    params)) {
        out.push_back(insightFrom(row));
    }
    return out;
}

std::optional<Insight> MemoryStore::insight(int64_t id) {
    auto row = db.one("SELECT * FROM insight WHERE id = ?", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return insightFrom(*row);
}

Insight MemoryStore::insightFrom(const SQLiteDB::Row& row) {
    Insight insight;
    insight.id = row.integer("id");
    insight.projectID = row.integer("project_id");
    insight.taskID = row.integer("task_id");
    insight.taskRevision = row.integer("task_revision");
    insight.fingerprint = row.text("fingerprint");
    insight.actionSignature = row.text("action_signature");
    insight.relationship = row.text("relationship");
    insight.title = row.text("title");
    insight.whyNow = row.text("why_now");
    insight.nextStep = row.text("next_step");
    insight.expectedOutcome = row.optText("expected_outcome");
    insight.uncertainty = row.optText("uncertainty");
    insight.origin = row.text("origin");
    insight.model = row.optText("model");
    insight.score = row.real("score");
    if (auto detail = JsonText::parse(row.text("score_detail"))) {
        insight.scores = ScoreBreakdown::fromJson(*detail);
    }
    insight.eligible = row.boolean("eligible");
    insight.holdReason = row.optText("hold_reason");
    insight.status = insightStatusFromStored(row.text("status"));
    insight.createdAt = row.real("created_at");
    insight.lastShown = row.optReal("last_shown");

    for (const auto& e :
         db.query("SELECT * FROM insight_evidence WHERE insight_id = ? ORDER BY position", {Value(insight.id)})) {
        auto chunk = this->chunk(e.integer("chunk_id"));
        if (!chunk) {
            continue; // gone or made unavailable
        }
        InsightEvidence evidence;
        evidence.claim = e.optText("claim");
        std::string termSource = evidence.claim && !evidence.claim->empty() ? *evidence.claim : insight.nextStep;
        evidence.cueMs = bestCue(*chunk, QueryTerms::terms(termSource).expanded);
        evidence.exposure = exposure(*chunk, evidence.cueMs);
        std::optional<std::string> passage;
        if (chunk->kind == "article") {
            passage = Text::prefixCharacters(chunk->text, articlePassageCharacters);
        }
        evidence.openURL = openURL(*chunk, evidence.cueMs, passage);
        evidence.label = evidenceLabel(*chunk, evidence.cueMs);
        evidence.role = e.text("role");
        evidence.verdict = e.optText("verdict");
        evidence.chunk = std::move(*chunk);
        insight.evidence.push_back(std::move(evidence));
    }
    return insight;
}

std::string MemoryStore::evidenceLabel(const ChunkRecord& chunk, std::optional<int64_t> cueMs) {
    std::string title = chunk.sourceTitle;
    if (Text::characterCount(title) > labelTitleLimit) {
        title = Text::prefixCharacters(title, labelTitleKept) + "\u2026";
    }
    if (chunk.kind == "transcript") {
        return title + " \u00b7 " + Timecode::format(cueMs.value_or(chunk.startMs.value_or(0)));
    }
    if (chunk.kind == "comment") {
        return "Comment on " + title;
    }
    if (chunk.kind == "article" && chunk.heading && !chunk.heading->empty()) {
        return title + " \u00b7 " + Text::prefixCharacters(*chunk.heading, labelHeadingKept);
    }
    return title;
}

bool MemoryStore::feedback(int64_t insightID, FeedbackReason reason, std::optional<int64_t> sourceID) {
    return db.transaction([&] {
        auto row = db.one("SELECT project_id, action_signature FROM insight WHERE id = ?", {Value(insightID)});
        if (!row) {
            return false;
        }
        db.run("INSERT INTO feedback(insight_id, project_id, reason, action_signature, source_id, at) "
               "VALUES (?, ?, ?, ?, ?, ?)",
               {Value(insightID), (*row)["project_id"], Value(rawValue(reason)), (*row)["action_signature"],
                Value(sourceID), Value(now())});
        // A withdrawn insight rests on something that changed: it never comes back.
        db.run("UPDATE insight SET status = ? WHERE id = ? AND status <> 'withdrawn'",
               {Value(rawValue(statusSetBy(reason))), Value(insightID)});
        if (reason == FeedbackReason::muteSource && sourceID) {
            db.run("UPDATE source SET muted = 1 WHERE id = ?", {Value(*sourceID)});
            withdrawInsightsCiting(*sourceID);
        }
        return true;
    });
}

bool MemoryStore::restoreInsight(int64_t id) {
    return db.run("UPDATE insight SET status = 'shown' WHERE id = ? "
                  "AND status IN ('dismissed','not_relevant','known','wrong_project')",
                  {Value(id)}) > 0;
}

std::vector<std::string> MemoryStore::suppressedSignatures(int64_t projectID) {
    std::vector<std::string> out;
    for (const auto& row : db.query("SELECT action_signature FROM feedback WHERE project_id = ? "
                                    "AND reason IN ('known','not_relevant','dismissed','useful','saved') "
                                    "AND action_signature IS NOT NULL ORDER BY id",
                                    {Value(projectID)})) {
        out.push_back(row.text("action_signature"));
    }
    return out;
}

} // namespace brell
