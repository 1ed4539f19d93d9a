#pragma once
// TopicBrief: a self-contained Markdown document about one topic, for the user to keep
// or share. A title, a dated line saying how many passages it rests on, an optional AI
// answer whose every sentence is followed by its exact quote and source, then the
// remaining passages as quotes with their sources.
//
// Text from memory and from a model is escaped (MarkdownExport::escapeInline) and kept
// to its line, so no title, quote or sentence can add a heading, link or HTML to the
// document; links are written only for web addresses.
//
// Pure functions of their arguments (plus the local time zone for the date, unless a
// zone is given); safe from any thread. Nothing here throws (only std::bad_alloc, or a
// failure of ICU itself).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/recall/AnswerSentence.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"
#include "util/Date.h"
#include "util/DateFormat.h"

namespace brell::TopicBrief {

// One quoted passage of a brief. A plain value.
struct Passage {
    ChunkRecord chunk;                     // the chunk the quote comes from
    std::optional<int64_t> ms;             // the position in a video; absent for other kinds
    std::string quote;                     // the exact words to show
    std::optional<ExposureLabel> exposure; // how the user met this passage
    std::string openURL;                   // opens the source at the passage (MemoryStore::momentURL)

    bool operator==(const Passage&) const = default;
};

// The whole brief, ending with a line feed. `answerLabel` names the model that wrote
// `answer`; `passages` that an answer sentence already quotes (same chunk and position)
// are not repeated.
std::string markdown(std::string_view topic, const std::vector<AnswerSentence>& answer,
                     const std::optional<std::string>& answerLabel, const std::vector<Passage>& passages, Date now,
                     std::string_view timeZone = DateFormat::localZone);

// "Video", "Article", "Saved quote", "Screen text", "Comment", else the chunk's own label.
std::string kindLabel(const ChunkRecord& chunk);

// Kind · title · time or “section” · how it was met · "demo fixture" · a link, each part
// only when it applies: "Video · Pricing talk · 01:35 · Watched at this moment ·
// [Open at 01:35](https://…)".
std::string sourceLine(const Passage& passage);

// "> " + the escaped line, for each line of the text; lines are kept as they are, an
// empty one as "> ". Every line break ends a line (CR LF counts once).
std::string blockquote(std::string_view text);

} // namespace brell::TopicBrief
