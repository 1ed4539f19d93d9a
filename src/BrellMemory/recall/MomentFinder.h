#pragma once
// Finding the exact moment something was said: candidate passages laid out for a
// language model with a fixed instruction and answer schema, and the model's reply
// turned into at most three grounded, de-duplicated moments snapped to their cue and
// linked at that second. Also the cue-snapping rules the cited answers reuse.
//
// Pure functions, except parse, which reads exposure through the store it is given.
// Nothing here throws on any reply: a reply that does not follow the schema yields
// fewer moments.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/recall/Moment.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "util/Json.h"

namespace brell {

class MemoryStore;

namespace MomentFinder {

// The instruction sent with every moment request.
extern const char* const system;

// The JSON Schema the reply must follow: {"moments": [{passageId, seconds, why}]}.
const Json& schema();

// {"question", "passages": [{id, source, type, section, text}]} for the candidates in order.
Json input(std::string_view question, const std::vector<ChunkRecord>& candidates, std::size_t charsEach);

// The candidates that fit a character budget: max(3, budget ÷ (charsEach + 160)).
std::vector<ChunkRecord> fit(const std::vector<ChunkRecord>& candidates, std::size_t charsEach, std::size_t budget);

// The candidates matching the question's terms, ranked by those terms alone.
std::vector<ChunkRecord> keywordHits(std::string_view question, const std::vector<ChunkRecord>& candidates,
                                     std::size_t limit);

// The model's reply as moments: the first three entries naming a known passage,
// grounded in the question when there is one, snapped to a cue, without repeats.
std::vector<Moment> parse(const Json& reply, const std::vector<ChunkRecord>& candidates, MemoryStore& store,
                          const std::optional<std::string>& question);

// "c" + id for memory chunks, "s" + id for screen text, "q" + (−id) for saved quotes.
std::string promptID(const ChunkRecord& chunk);
// "seen on screen", "quote the user saved", or the kind itself.
std::string typeLabel(const ChunkRecord& chunk);
// A transcript as "[mm:ss] text" lines up to about `limit` characters; other text cut.
std::string timestamped(const ChunkRecord& chunk, std::size_t limit);
// A reply's seconds: an integer, or a real truncated toward zero; else nothing.
std::optional<int64_t> seconds(const Json& value);
// The start of the cue matching most of `terms` (the first of equals), or nothing.
std::optional<int64_t> cueMatching(const ChunkRecord& chunk, const std::vector<std::string>& terms);
// The position to open in a transcript chunk: the cue nearest to `seconds` when that
// falls within 5 s of the chunk, else the cue matching `hints`, else the first cue.
std::optional<int64_t> cue(const ChunkRecord& chunk, std::optional<int64_t> seconds, std::string_view hints);

} // namespace MomentFinder
} // namespace brell
