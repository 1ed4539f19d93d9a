// Reading a model's answer: any bytes as the decoded reply of a moments-and-answer
// request about four passages (a watched talk, an article, a saved quote and a screen
// reading, with the prompt ids c10, c12, q1000000 and s5), then the topic brief of the
// sentences kept.
//
// Checked: at most four entries are read, so kept and dropped sentences together are at
// most four; every kept sentence is non-empty, on one line, at most 320 characters,
// carries no link or markup, is grounded in the passage it names, is not a repeat
// ignoring case, and quotes words of that passage; in the brief no sentence, quote or
// title adds a heading of its own.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/AnswerComposer.h"
#include "BrellMemory/recall/TopicBrief.h"
#include "FuzzSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using fuzz::check;

struct Memory {
    MemoryStore store{":memory:"};
    std::vector<ChunkRecord> candidates;

    Memory() {
        store.db.exec(
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
            "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Pricing talk', "
            "'https://www.youtube.com', 1, 5),"
            "(2, 'article:https://example.com/a', 'article', 'https://example.com/a', 'Essay # 1', "
            "'https://example.com', 1, 9);"
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s1', 1, 30000, 1, 5);"
            "INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'range', 90000, 100000);"
            "INSERT INTO chunk(id, source_id, kind, text, heading, locator, start_ms, end_ms, cues, retrieved_at, "
            "content_hash) VALUES "
            "(10, 1, 'transcript', 'Welcome everyone. Now the pricing tiers explained: starter costs 12,000 "
            "dollars. The team tier costs 40 dollars. ', NULL, 't=80', 80000, 105000, '[[0,80000],[18,93000],"
            "[81,99000]]', 1, 'h1'),"
            "(12, 2, 'article', 'Pricing pages show three tiers. A decoy tier makes the middle plan look cheap. "
            "Some readers prefer one price.\n# Not a heading', 'Why\rtiers', 'p2', NULL, NULL, NULL, 1, 'h2');");
        candidates = {*store.chunk(10), *store.chunk(12),
                      ChunkRecord::saved(0, "K", "Notes", std::string("https://example.com/p"),
                                         "Annual billing saves two months.", "evidence", 5)};
        ChunkRecord screen;
        screen.id = 5;
        screen.sourceID = -5;
        screen.kind = "screen";
        screen.sourceKey = "screen:com.apple.Notes";
        screen.sourceTitle = "Notes";
        screen.text = "Call Sam about the enterprise tier discount.";
        candidates.push_back(screen);
    }
};

bool isLineBreak(std::string_view text) {
    for (std::string_view lineBreak : {"\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029"}) {
        if (text.find(lineBreak) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    static Memory memory;
    auto reply = JsonText::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!reply) {
        return 0;
    }
    auto parsed = AnswerComposer::parse(*reply, memory.candidates, memory.store);
    check(parsed.dropped >= 0, "a dropped count is never negative");
    check(parsed.sentences.size() + static_cast<std::size_t>(parsed.dropped) <= AnswerComposer::maxSentences,
          "no more than four entries are read");

    std::set<std::string> lowered;
    std::vector<TopicBrief::Passage> passages;
    for (const AnswerSentence& sentence : parsed.sentences) {
        const std::string& text = sentence.text;
        const ChunkRecord& chunk = sentence.moment.chunk;
        check(!text.empty() && Text::trim(text) == text, "a kept sentence is trimmed and not empty", text);
        check(!isLineBreak(text), "a kept sentence is one line", text);
        check(Text::characterCount(text) <= AnswerComposer::maxSentenceCharacters, "a kept sentence is short", text);
        check(!AnswerComposer::unsafe(text), "a kept sentence carries no link or markup", text);
        check(AnswerComposer::grounded(text, chunk.text + " " + chunk.sourceTitle + " " + chunk.heading.value_or("")),
              "a kept sentence is grounded in its passage", text);
        check(lowered.insert(Text::lower(text)).second, "a kept sentence is no repeat", text);
        check(Text::characterCount(sentence.quote) <= AnswerComposer::quoteLimit + 1, "a quote fits its limit",
              sentence.quote);
        passages.push_back(
            {chunk, sentence.moment.ms, sentence.quote, sentence.moment.exposure, sentence.moment.openURL});
    }

    std::string brief = TopicBrief::markdown("Pricing", parsed.sentences, std::string("Mock"), passages, 0, "UTC");
    std::size_t headings = 0;
    for (const std::string& line : Text::split(brief, '\n')) {
        check(line.find('\r') == std::string::npos, "a brief has no carriage return", brief);
        if (!line.empty() && line[0] == '#') {
            ++headings;
        }
    }
    // The title, and "## Answer (AI · Mock)" when a sentence was kept; every passage is
    // one of the answer's, so there is no further section.
    check(headings == (parsed.sentences.empty() ? 1u : 2u), "only the brief's own headings", brief);
    return 0;
}
