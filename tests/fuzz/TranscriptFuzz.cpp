// The timed-text reader: any bytes as a transcript file, then the chunks both ways in
// build from its cues.
//
// Checked: parse() either throws TranscriptError (with a line number exactly for the
// two line errors) or gives cues that start in order, end after they start, and carry
// clean, well-formed text without repeats of the previous cue; chunks() keeps every cue
// once and in order, with texts and offsets that agree with the cues and a stored cue
// list that reads back; clean() of anything is well-formed and trimmed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BrellMemory/store/Transcript.h"
#include "BrellMemory/store/TranscriptError.h"
#include "FuzzSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using fuzz::check;

void checkClean(std::string_view raw) {
    std::string cleaned = Transcript::clean(raw);
    check(Text::isValidUTF8(cleaned), "clean() gives well-formed UTF-8", cleaned);
    check(Text::trim(cleaned) == cleaned, "clean() leaves no white space at either end", cleaned);
    check(cleaned.find("  ") == std::string::npos, "clean() leaves no run of spaces", cleaned);
}

void checkCues(const std::vector<Cue>& cues) {
    check(!cues.empty(), "parse() gives at least one cue");
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const Cue& cue = cues[i];
        check(cue.startMs >= 0 && cue.startMs < cue.endMs, "a cue ends after it starts", cue.text);
        check(!cue.text.empty() && Text::isValidUTF8(cue.text) && Text::trim(cue.text) == cue.text,
              "a cue's text is clean and not empty", cue.text);
        if (i > 0) {
            check(cues[i - 1].startMs <= cue.startMs, "cues start in order", cue.text);
            check(cues[i - 1].text != cue.text, "a repeat of the previous cue's text is dropped", cue.text);
        }
    }
}

void checkChunks(const std::vector<Cue>& cues, int64_t minMs, int64_t maxMs, int64_t maxChars) {
    auto chunks = Transcript::chunks(cues, minMs, maxMs, maxChars);
    std::size_t next = 0;
    for (const auto& chunk : chunks) {
        check(!chunk.cues.empty(), "a chunk holds a cue");
        check(next + chunk.cues.size() <= cues.size(), "chunks hold no more cues than there are");
        check(chunk.startMs == cues[next].startMs, "a chunk starts with its first cue");
        check(chunk.endMs == cues[next + chunk.cues.size() - 1].endMs, "a chunk ends with its last cue");
        std::string joined;
        int64_t offset = 0;
        for (std::size_t k = 0; k < chunk.cues.size(); ++k) {
            const Cue& cue = cues[next + k];
            check(chunk.cues[k].startMs == cue.startMs, "a chunk's cue starts are its cues'");
            check(chunk.cues[k].offset == offset, "a cue's offset counts the characters before it and a space");
            joined += (k == 0 ? "" : " ") + cue.text;
            offset += static_cast<int64_t>(Text::characterCount(cue.text)) + 1;
        }
        check(chunk.text == joined, "a chunk's text is its cues' texts joined with spaces", chunk.text);
        check(chunk.cues.size() == 1 || chunk.cues.back().startMs - chunk.startMs < minMs ||
                  chunk.endMs - chunk.startMs <= maxMs,
              "a chunk takes a later cue only while young or still short");

        auto stored = JsonText::parse(Transcript::cuesJSON(chunk.cues));
        check(stored && stored->is_array() && stored->size() == chunk.cues.size(), "the stored cue list reads back");
        for (std::size_t k = 0; k < chunk.cues.size(); ++k) {
            const Json& pair = (*stored)[k];
            check(pair.is_array() && pair.size() == 2 && pair[0] == chunk.cues[k].offset &&
                      pair[1] == chunk.cues[k].startMs,
                  "the stored cue list is [offset, start] pairs");
        }
        check(Transcript::locator(chunk.startMs) == "t=" + std::to_string(chunk.startMs / 1000),
              "a chunk's locator is its whole seconds");
        next += chunk.cues.size();
    }
    check(next == cues.size(), "every cue is in a chunk");
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    checkClean(text);
    std::vector<Cue> cues;
    try {
        cues = Transcript::parse(text);
    } catch (const TranscriptError& e) {
        bool lineError = e.errorCase() == TranscriptError::Case::malformedTimestamp ||
                         e.errorCase() == TranscriptError::Case::nonMonotonic;
        check(lineError == e.line().has_value(), "only line errors name a line", e.what());
        check(!e.line() || *e.line() >= 1, "a line number counts from 1", e.what());
        return 0;
    }
    checkCues(cues);
    checkChunks(cues, 20000, 60000, Transcript::maxChunkChars);
    // Small limits make every cue boundary a decision.
    checkChunks(cues, 1, 2, 8);
    return 0;
}
