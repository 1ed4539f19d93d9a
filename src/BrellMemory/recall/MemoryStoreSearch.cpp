// Memory search: finding the chunks that hold a query's terms, and the simplest answer
// built on them (up to three sources with a reason and a link).
#include "BrellMemory/db/MemoryStore.h"

#include <algorithm>
#include <unordered_set>

#include "BrellMemory/recall/ChunkSearch.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/recall/TermMatcher.h"
#include "BrellMemory/store/Timecode.h"
#include "util/Text.h"

namespace brell {
namespace {

// Characters of the article passage an open link jumps to.
constexpr std::size_t articlePassageCharacters = 120;

const std::string ellipsis = "\u2026";

// ASCII without carriage returns: one byte is one user-perceived character.
bool isPlainASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x80 && u != '\r';
    });
}

// A text read by user-perceived characters. Plain ASCII is used in place, one byte per
// character; other text is made well-formed first (as Text does) and its character
// boundaries are found once.
class Characters {
public:
    explicit Characters(std::string_view source) : view_(source) {
        if (isPlainASCII(source)) {
            count_ = static_cast<int64_t>(source.size());
            return;
        }
        if (!Text::isValidUTF8(source)) {
            owned_ = Text::sanitizeUTF8(source);
            view_ = owned_;
        }
        bounds_ = Text::characterBoundaries(view_);
        count_ = static_cast<int64_t>(bounds_.size()) - 1;
    }
    Characters(const Characters&) = delete; // the view may point into owned_
    Characters& operator=(const Characters&) = delete;

    int64_t count() const { return count_; }

    // Characters [from, to), 0 <= from <= to <= count().
    std::string_view slice(int64_t from, int64_t to) const {
        if (bounds_.empty()) {
            return view_.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
        }
        auto a = bounds_[static_cast<std::size_t>(from)];
        auto b = bounds_[static_cast<std::size_t>(to)];
        return view_.substr(a, b - a);
    }

private:
    std::string owned_;
    std::string_view view_;
    std::vector<std::size_t> bounds_;
    int64_t count_ = 0;
};

std::size_t characterCount(std::string_view text) {
    return isPlainASCII(text) ? text.size() : Text::characterCount(text);
}

std::string prefixCharacters(std::string_view text, std::size_t count) {
    if (isPlainASCII(text)) {
        return std::string(text.substr(0, std::min(count, text.size())));
    }
    return Text::prefixCharacters(text, count);
}

// The cues that carry both an offset and a start, in order.
std::vector<std::pair<int64_t, int64_t>> usableCues(const ChunkRecord& chunk) {
    std::vector<std::pair<int64_t, int64_t>> cues;
    for (const auto& cue : chunk.cues) {
        if (cue.size() >= 2) {
            cues.emplace_back(cue[0], cue[1]);
        }
    }
    return cues;
}

std::optional<int64_t> bestCueWith(const ChunkRecord& chunk, const TermMatcher& matcher) {
    if (chunk.kind != "transcript" || chunk.cues.empty()) {
        return chunk.startMs;
    }
    auto cues = usableCues(chunk);
    Characters characters(chunk.text);
    std::optional<int64_t> best;
    std::size_t bestCount = 0;
    for (std::size_t i = 0; i < cues.size(); ++i) {
        int64_t from = cues[i].first;
        int64_t to = i + 1 < cues.size() ? cues[i + 1].first : characters.count();
        if (from < 0 || to <= from || to > characters.count()) {
            continue;
        }
        std::size_t count = matcher.count(characters.slice(from, to));
        if (count > bestCount) {
            best = cues[i].second;
            bestCount = count;
        }
    }
    return best ? best : chunk.startMs;
}

// Whether a hit may be taken: the kinds filter, when one is given.
bool wanted(const std::optional<std::vector<std::string>>& kinds, const std::string& kind) {
    return !kinds || std::find(kinds->begin(), kinds->end(), kind) != kinds->end();
}

// The passage an article link jumps to: the start of the excerpt, ending on a whole
// word, since a text fragment matches whole words only and a cut word would make the
// browser ignore the link's passage altogether.
std::string articlePassage(std::string excerpt) {
    if (!Text::isValidUTF8(excerpt)) {
        excerpt = Text::sanitizeUTF8(excerpt);
    }
    if (excerpt.ends_with(ellipsis)) {
        excerpt.resize(excerpt.size() - ellipsis.size());
    }
    if (characterCount(excerpt) <= articlePassageCharacters) {
        return excerpt;
    }
    std::string cut = prefixCharacters(excerpt, articlePassageCharacters);
    bool insideWord = cut.back() != ' ' && excerpt[cut.size()] != ' ';
    auto space = cut.rfind(' ');
    if (insideWord && space != std::string::npos && space > 0) {
        cut.resize(space);
    }
    return cut;
}

} // namespace

std::vector<SearchHit> MemoryStore::searchChunks(std::string_view query, std::optional<int64_t> limit,
                                                 const std::optional<std::vector<std::string>>& kinds) {
    QueryTerms::Terms terms = QueryTerms::terms(query);
    if (terms.expanded.empty()) {
        return {};
    }
    int64_t wantedHits = limit.value_or(config.searchChunkLimit);
    if (wantedHits <= 0) {
        return {};
    }
    int64_t fetch = wantedHits > INT64_MAX / 2 ? INT64_MAX : 2 * wantedHits;

    const bool fullText = hasFullTextSearch();
    std::vector<SQLiteDB::Row> rows = fullText
                                          ? ChunkSearch::ranked(db, ChunkSearch::matchExpression(terms.expanded), fetch)
                                          : ChunkSearch::containing(db, terms.expanded, fetch);

    // The order needs only the kind, the text and the rank of each row; the chunk, its
    // cue and its excerpt are made for the hits that are kept.
    TermMatcher matcher(terms.expanded);
    struct Scored {
        SQLiteDB::Row* row = nullptr;
        double rank = 0;
        std::vector<bool> inText;
        std::size_t originalInText = 0;
    };
    std::vector<Scored> scored;
    scored.reserve(rows.size());
    for (auto& row : rows) {
        if (!wanted(kinds, row.text("kind"))) {
            continue;
        }
        Scored s{&row, fullText ? row.real("rank") : 0, matcher.found(row.text("text")), 0};
        s.originalInText = static_cast<std::size_t>(
            std::count(s.inText.begin(), s.inText.begin() + static_cast<std::ptrdiff_t>(terms.original.size()), true));
        scored.push_back(std::move(s));
    }
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
        if (a.originalInText != b.originalInText) {
            return a.originalInText > b.originalInText;
        }
        return a.rank < b.rank;
    });
    if (static_cast<int64_t>(scored.size()) > wantedHits) {
        scored.resize(static_cast<std::size_t>(wantedHits));
    }

    std::vector<SearchHit> hits;
    hits.reserve(scored.size());
    for (auto& s : scored) {
        SearchHit hit;
        hit.chunk = MemoryStore::chunkFrom(*s.row);
        std::vector<bool> inHeading =
            hit.chunk.heading ? matcher.found(*hit.chunk.heading) : std::vector<bool>(s.inText.size(), false);
        for (std::size_t i = 0; i < terms.expanded.size(); ++i) {
            if (s.inText[i] || inHeading[i]) {
                hit.matched.push_back(terms.expanded[i]);
            }
        }
        hit.rank = s.rank;
        hit.cueMs = bestCueWith(hit.chunk, matcher);
        hit.excerpt = excerpt(hit.chunk, hit.cueMs, terms.expanded, static_cast<std::size_t>(config.excerptChars));
        hits.push_back(std::move(hit));
    }
    return hits;
}

std::optional<int64_t> MemoryStore::bestCue(const ChunkRecord& chunk, const std::vector<std::string>& terms) {
    return bestCueWith(chunk, TermMatcher(terms));
}

std::string MemoryStore::excerpt(const ChunkRecord& chunk, std::optional<int64_t> cueMs,
                                 const std::vector<std::string>& /*terms*/, std::size_t limit) {
    std::optional<Characters> characters; // outlives `text`, which may point into it
    std::string_view text = chunk.text;
    if (chunk.kind == "transcript" && cueMs) {
        const auto& cues = chunk.cues;
        auto at = std::find_if(cues.begin(), cues.end(),
                               [&](const std::vector<int64_t>& cue) { return cue.size() >= 2 && cue[1] == *cueMs; });
        if (at != cues.end()) {
            // One cue of lead-in before the cited one.
            const auto& lead = at == cues.begin() ? *at : *(at - 1);
            characters.emplace(chunk.text);
            if (!lead.empty() && lead[0] >= 0 && lead[0] < characters->count()) {
                text = characters->slice(lead[0], characters->count());
            }
        }
    }
    if (characterCount(text) <= limit) {
        return std::string(text);
    }
    std::string cut = prefixCharacters(text, limit);
    auto space = cut.rfind(' ');
    if (space != std::string::npos) {
        cut.resize(space);
    }
    return cut + ellipsis;
}

std::string MemoryStore::reason(const SearchHit& hit, const std::vector<std::string>& original) {
    const ChunkRecord& chunk = hit.chunk;
    std::vector<std::string> quoted = TermMatcher(original).matched(chunk.text + " " + chunk.heading.value_or(""));
    if (quoted.empty()) {
        quoted = hit.matched;
    }
    std::string quotes;
    for (std::size_t i = 0; i < quoted.size() && i < 4; ++i) {
        quotes += (i == 0 ? "\u201c" : ", \u201c") + quoted[i] + "\u201d";
    }

    std::string where;
    if (chunk.kind == "transcript") {
        where = "the transcript at " + Timecode::format(hit.cueMs ? *hit.cueMs : chunk.startMs.value_or(0));
    } else if (chunk.kind == "comment") {
        where = "a comment";
    } else if (chunk.kind == "article") {
        where = chunk.heading ? "the section \u201c" + *chunk.heading + "\u201d" : "the article text";
    } else {
        where = "the title";
    }
    return quotes.empty() ? "Related wording in " + where : "Matched " + quotes + " in " + where;
}

std::string MemoryStore::openURL(const SearchHit& hit) {
    std::optional<std::string> passage;
    if (hit.chunk.kind == "article") {
        passage = articlePassage(hit.excerpt);
    }
    return openURL(hit.chunk, hit.cueMs, passage);
}

AskResult MemoryStore::ask(std::string_view query) {
    std::vector<std::string> original = QueryTerms::terms(query).original;
    AskResult result;
    std::unordered_set<int64_t> sources;
    for (auto& hit : searchChunks(query)) {
        if (!sources.insert(hit.chunk.sourceID).second) {
            continue;
        }
        SourceMatch match;
        match.exposure = exposure(hit.chunk, hit.cueMs);
        match.reason = reason(hit, original);
        match.openURL = openURL(hit);
        match.hit = std::move(hit);
        result.matches.push_back(std::move(match));
        if (result.matches.size() == AskResult::maxMatches) {
            break;
        }
    }
    if (result.matches.empty()) {
        result.strength = AskResult::Strength::none;
        return result;
    }
    const ChunkRecord& top = result.matches.front().hit.chunk;
    std::size_t found = TermMatcher(original).count(top.text + " " + top.heading.value_or(""));
    bool strong = found >= 2 || (original.size() == 1 && found == 1);
    result.strength = strong ? AskResult::Strength::strong : AskResult::Strength::weak;
    return result;
}

} // namespace brell
