#pragma once
// The answer half of a question put to memory: the instruction and reply schema of the
// one model request that returns both the moments to open (MomentFinder) and a short
// answer, and the strict reading of that answer. Every kept sentence names exactly one
// of the passages sent, is supported by that passage's own words and numbers, carries
// no link, code or markup, and is shown with exact words taken from the passage.
// Sentences that fail are dropped and counted, never repaired.
//
// The caller sends `system`, MomentFinder::input(question, candidates, …) and `schema`
// through a provider; the reply's "moments" go to MomentFinder::parse and its "answer"
// to parse here, with the same candidates in the same order.
//
// Pure functions, except parse, which reads exposure through the store it is given.
// Nothing in a reply can make parse fail; a failed exposure read leaves it absent.
// The other operations throw only std::bad_alloc (or a failure of ICU itself).
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/recall/AnswerSentence.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "util/Json.h"

namespace brell {

class MemoryStore;

namespace AnswerComposer {

// The most answer entries read from a reply; later entries are never looked at.
inline constexpr std::size_t maxSentences = 4;
// Longer sentences are dropped, in user-perceived characters.
inline constexpr std::size_t maxSentenceCharacters = 320;
// The longest quote shown under a sentence, and how much transcript is enough.
inline constexpr std::size_t quoteLimit = 280;
inline constexpr std::size_t enoughTranscript = 110;

// The reading of one reply.
struct Parsed {
    std::vector<AnswerSentence> sentences; // in reply order, at most maxSentences
    int dropped = 0;                       // non-empty sentences that were rejected

    bool operator==(const Parsed&) const = default;
};

// The instruction of the combined moments-and-answer request, in four paragraphs.
extern const char* const system;

// The reply schema: {"moments": [MomentFinder's entries], "answer": [{text, passageId,
// seconds}]}, both required, nothing else allowed.
const Json& schema();

// The reply's "answer": its first maxSentences entries, each either kept, skipped (empty
// text, or a repeat of a kept sentence ignoring case) or dropped and counted (too long,
// unsafe, no or an unknown passage, not grounded in its passage).
Parsed parse(const Json& reply, const std::vector<ChunkRecord>& candidates, MemoryStore& store);

// Whether the passage backs the sentence: enough of the sentence's own terms match it
// (all of one or two; of more, 30 % rounded up and at least two) and every number of
// the sentence is a number of the passage. A sentence without terms is never grounded.
bool grounded(std::string_view sentence, std::string_view passage);

// The exact words shown under a sentence: transcript lines from the moment on, or the
// sentence of the passage that best matches `supporting`, with what follows while it
// fits `limit` ("…" marks text left out before or after).
std::string verbatim(const ChunkRecord& chunk, std::optional<int64_t> ms, std::string_view supporting,
                     std::size_t limit);

// Transcript words from the cue at or before `ms`, whole cues joined with spaces until
// `enough` characters are collected or the next cue would pass `limit`.
std::string lines(const ChunkRecord& chunk, std::optional<int64_t> ms, std::size_t limit, std::size_t enough);

// The words of the text (QueryTerms::words) holding at least one numeric character.
std::set<std::string> numbers(std::string_view text);

// True when the lower-cased text holds a link, code fence, script or Markdown link opener.
bool unsafe(std::string_view text);

} // namespace AnswerComposer
} // namespace brell
