#pragma once
// The candidate written without a model: it points the user back at a passage memory
// holds but the user was not observed seeing or hearing (the anchor), to be compared
// with a passage from another independent group (the partner). Used when no model may
// be asked, or the model gave nothing usable. Always held back from being pushed.
//
// Pure functions; safe from any thread. Nothing here throws except std::bad_alloc (or
// a failure of ICU itself, TextError).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/TaskContext.h"

namespace brell::TemplateCandidate {

// A text of at most `limit` user-perceived characters as it is; a longer one as its
// first limit − 1 characters and "…".
std::string clip(std::string_view text, std::size_t limit);

// Nothing when the pack has no passage outside what the user was observed on (comments
// aside) or no passage of another group to compare it with.
std::optional<CandidateDraft> make(const TaskContext& task, const std::vector<Excerpt>& pack);

} // namespace brell::TemplateCandidate
