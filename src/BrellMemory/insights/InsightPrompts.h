#pragma once
// What is sent to a model for a candidate: the proposer's and the verifier's system
// prompts, the JSON schemas of their replies, and the two input objects. Every id a
// model sees is prefixed (p7, t12, c345), never a bare number, and the passages go in
// as data the prompts tell the model not to obey.
//
// The prompts are constants; the schemas are built once, on first use, under the
// language's one-time initialisation guard; the input builders are pure. Safe from any
// thread. Nothing here throws except std::bad_alloc.
#include <string_view>
#include <vector>

#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/TaskContext.h"
#include "util/Json.h"

namespace brell::InsightPrompts {

// The proposer's system prompt (1,206 characters on one line).
extern const std::string_view candidate;
// The verifier's system prompt (424 characters).
extern const std::string_view verifier;

// One cited evidence record: chunkId, role, claim.
const OrderedJson& evidenceItem();
// The proposer's reply: {"candidate": the candidate object or null}.
const OrderedJson& candidateSchema();
// The verifier's reply: claims (index and verdict), differences, actionFollows.
const OrderedJson& verifierSchema();

// {"task": {projectId, taskId, project, title, objective, keywords}, "evidence": one
// record per excerpt in pack order, its exposure's raw value or "unknown"}.
Json candidateInput(const TaskContext& task, const std::vector<Excerpt>& pack);

// {"task": {title, objective}, "candidate": {title, nextStep, expectedOutcome,
// uncertainty} with absent ones as "", "claims": [{index, claim, excerpt}] where the
// excerpt is the first pack text of the same chunk, or "" when the pack has none}.
Json verifierInput(const TaskContext& task, const CandidateDraft& draft, const std::vector<Excerpt>& pack);

} // namespace brell::InsightPrompts
