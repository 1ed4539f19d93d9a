#pragma once
// Timed text: reading transcript files into cues, cleaning cue text, and grouping cues
// into the chunks memory stores and searches. Both ways a transcript reaches memory go
// through here — a file the user imports and the captions the companion captures — so
// the same cues always give the same chunks.
//
// A file is any text in which each cue is a timing line "start --> end" followed by its
// text lines; that covers WebVTT and SubRip. Lines without "-->" (headers, cue numbers,
// NOTE and STYLE blocks) are skipped. docs/transcripts.md describes the accepted shapes.
//
// Pure functions without state; safe from any thread. parse throws TranscriptError;
// nothing else throws (only std::bad_alloc).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/store/Cue.h"

namespace brell::Transcript {

// The largest file parse reads, in UTF-8 bytes (exactly this many is accepted).
inline constexpr std::size_t maxFileBytes = 2'000'000;

// The character limit both ways in pass to chunks().
inline constexpr int64_t maxChunkChars = 1600;

// Where one cue's text begins inside a chunk's text.
struct CueStart {
    int64_t offset = 0;  // in user-perceived characters from the start of the chunk text
    int64_t startMs = 0; // the cue's start

    bool operator==(const CueStart&) const = default;
};

// A run of consecutive cues stored as one chunk row.
struct Chunk {
    int64_t startMs = 0; // the first cue's start
    int64_t endMs = 0;   // the last cue's end
    std::string text;    // the cues' texts joined with one space
    // One per cue, in order: the first at offset 0, each later one at the character
    // count of the text before it plus 1 for the joining space.
    std::vector<CueStart> cues;

    bool operator==(const Chunk&) const = default;
};

// The cues of a timed-text file, in file order, with empty cues and repeats of the
// previous cue's text dropped. A leading byte-order mark is ignored. Throws
// TranscriptError: tooLarge above maxFileBytes, malformedTimestamp for a timing line
// that does not read or whose start is not before its end, nonMonotonic for a cue
// starting before the previous kept one, empty when no cue is left.
std::vector<Cue> parse(std::string_view text);

// Milliseconds of "[h:]mm:ss[.fff]" (WebVTT) or "hh:mm:ss,fff" (SubRip), or nothing
// when the text is not such a timestamp. Without hours the minutes may exceed 59.
std::optional<int64_t> parseTime(std::string_view text);

// Cue text as memory keeps it: tags ("<v Ann>", "<c.loud>", "<00:01.500>") removed,
// the common HTML entities replaced, runs of white space (line breaks included) turned
// into one space, no white space at either end. Ill-formed UTF-8 is first replaced
// with U+FFFD, so the result is always well-formed.
std::string clean(std::string_view text);

// Groups cues into chunks: a cue joins the open chunk while it starts less than
// `minMs` after the chunk's start or ends at most `maxMs` after it, and the two texts
// together stay within `maxChars` characters (the joining space not counted).
std::vector<Chunk> chunks(const std::vector<Cue>& cues, int64_t minMs, int64_t maxMs, int64_t maxChars);

// The stored locator of a transcript chunk: "t=" + whole seconds of `startMs`, truncated.
std::string locator(int64_t startMs);

// The stored cue list: "[[offset,startMs],...]" without spaces.
std::string cuesJSON(const std::vector<CueStart>& cues);

} // namespace brell::Transcript
