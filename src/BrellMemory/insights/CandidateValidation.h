#pragma once
// Reading a model's proposal. The reply is untrusted: it becomes a CandidateDraft only
// when every field is present and of its kind, short enough, free of links, commands,
// code and secret-like words, names this very project and task, and cites between one
// (two when pushed unasked) and three distinct passages that were offered to the model.
// The first problem met is thrown as a Failure and nothing is built. The verifier's
// reply is read here too (applyVerdict), leniently: anything unusable in it counts
// against the claims.
//
// Pure functions; safe from any thread. parse throws Failure (and std::bad_alloc, or
// TextError when ICU itself fails); applyVerdict throws nothing but std::bad_alloc.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/TaskContext.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::CandidateValidation {

class Failure : public Error {
public:
    enum class Case { schema, length, unknownID, foreignTask, unsafe, evidenceCount };

    // A required field is missing or of the wrong kind, a role is not allowed, or the
    // relationship is unknown: "the candidate's "<key>" is missing or not allowed".
    static Failure schema(const std::string& key);
    // A text is longer than its limit, or a claim is empty: "the candidate's "<key>" is
    // too long or empty".
    static Failure length(const std::string& key);
    // "the candidate cites a passage that was not offered to the model"
    static Failure unknownID();
    // "the candidate names another project or task"
    static Failure foreignTask();
    // "the candidate contains a link, a command, code or a secret-like word"
    static Failure unsafe();
    // "the candidate cites too few or too many distinct passages"
    static Failure evidenceCount();

    Case failureCase() const { return case_; }
    // The offending key of schema and length; empty for the others.
    const std::string& key() const { return key_; }

    bool operator==(const Failure& other) const { return case_ == other.case_ && key_ == other.key_; }

private:
    Failure(Case failureCase, std::string key, const std::string& description);

    Case case_;
    std::string key_;
};

// The 12 roles a cited passage may play, as the proposer prompt lists them.
inline constexpr std::array<std::string_view, 12> roles = {
    "symptom",       "cause",         "condition", "recommended_test",   "workaround", "corroboration",
    "contradiction", "missed_detail", "option",    "decision_criterion", "context",    "approach"};

// The 13 pieces of text that make a candidate unsafe, looked for in its lower-cased texts.
inline constexpr std::array<std::string_view, 13> unsafeMarks = {
    "http://", "https://", "```",     "sudo ", "rm -",    "curl ",      "| sh",
    "chmod ",  "password", "api key", "token", "<script", "javascript:"};

// True when `text` holds an unsafe mark in any letter case, also when the mark is
// broken up by invisible characters or written with other white space.
bool isUnsafe(std::string_view text);

// The draft the proposer's "candidate" object describes, with origin "model", no model
// label and no verdicts. `pack` is the evidence pack the model was given for `task`;
// `proactive` asks for at least two passages instead of one.
CandidateDraft parse(const Json& candidate, const TaskContext& task, const std::vector<Excerpt>& pack, bool proactive);

// The draft with the verifier's reply applied: each well-formed "claims" entry (an
// integer "index" of one of the draft's passages and one of the four verdicts) sets
// that passage's verdict; a passage left without one is "unsupported", and so is every
// "inference_only" when the draft states no uncertainty. "actionFollows" is the reply's
// boolean, else false.
CandidateDraft applyVerdict(CandidateDraft draft, const Json& verdict);

} // namespace brell::CandidateValidation
