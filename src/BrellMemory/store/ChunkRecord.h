#pragma once
// One piece of remembered text (a `chunk` row) joined with its source: a title, a run
// of transcript cues, an article section, a comment or a note. A plain value.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Date.h"

namespace brell {

struct VisualSession;

struct ChunkRecord {
    // The select head every chunk query starts with; each adds its own condition.
    static constexpr const char* selectHead =
        "SELECT c.*, s.key AS s_key, s.kind AS s_kind, s.title AS s_title, s.url AS s_url, s.origin AS s_origin\n"
        "FROM chunk c JOIN source s ON s.id = c.source_id";

    int64_t id = 0;
    int64_t sourceID = 0;
    std::string sourceKey;
    std::string sourceKind;
    std::string sourceTitle;
    std::string sourceURL;
    std::string sourceOrigin;
    std::string kind; // metadata, transcript, comment, article, note
    std::string text;
    std::optional<std::string> heading;
    std::string locator;
    std::optional<int64_t> startMs;
    std::optional<int64_t> endMs;
    // [character offset in text, cue start in ms] per cue; empty when unreadable.
    std::vector<std::vector<int64_t>> cues;
    std::string provenance;
    std::string contentHash;
    Date retrievedAt = 0;

    bool isFixture() const { return provenance == "fixture"; }
    // "Transcript", "Comment", "Article", "Title"; other kinds capitalised.
    std::string kindLabel() const;
    // The text to quote: from the cue at or before `at` for transcripts, trimmed, and
    // cut to `limit` characters at a space with "…" appended when longer.
    std::string passage(std::optional<int64_t> at, std::size_t limit) const;

    // A quote saved on the board, as a recall passage of kind "saved" (never a row):
    // ids −index − 1,000,000, source key "saved:" + key, the lane as its heading.
    static ChunkRecord saved(int64_t index, const std::string& key, const std::string& title,
                             const std::optional<std::string>& url, const std::string& text, const std::string& lane,
                             Date at);
    // A transcript given as (ms, text) lines, for demonstration data (provenance
    // "fixture"): each line's text and a space, one cue per line, ending 8 s after the last.
    static ChunkRecord transcript(int64_t id, int64_t sourceID, const std::string& videoID, const std::string& title,
                                  const std::vector<std::pair<int64_t, std::string>>& lines, Date retrievedAt);
    bool isSaved() const { return kind == "saved"; }
    // The saved quote's key, for kind "saved".
    std::optional<std::string> savedKey() const;

    // A Visual session as a recall passage of kind "visual" (never a row): ids
    // −(session id) − 2,000,000, source key "visual:" + id, the session label as title,
    // the note and window text as text, locator "v=" + id.
    static ChunkRecord visual(const VisualSession& session);
    // The session id of a visual passage: for kind "visual", the decimal number after
    // "visual:" in the source key; nothing otherwise.
    std::optional<int64_t> visualSessionID() const;

    // Reads the cue list from its stored JSON form ([[offset, startMs], ...]).
    static std::vector<std::vector<int64_t>> decodeCues(const std::optional<std::string>& json);

    bool operator==(const ChunkRecord&) const = default;
};

} // namespace brell
