// Gathering moment candidates, their links, and the model-free passages for assistants.
#include "BrellMemory/db/MemoryStore.h"

#include <map>
#include <set>

#include "BrellMemory/recall/MomentFinder.h"
#include "BrellMemory/store/Timecode.h"
#include "addresses/TextFragment.h"
#include "addresses/URLSafety.h"

namespace brell {

std::vector<ChunkRecord> MemoryStore::momentCandidates(std::string_view question, std::size_t limit,
                                                       int64_t recentSources) {
    std::vector<ChunkRecord> out;
    // Keyed by prompt id: screen captures and memory chunks have separate id spaces.
    std::set<std::string> taken;
    auto take = [&](const ChunkRecord& chunk) {
        if (taken.insert(MomentFinder::promptID(chunk)).second) {
            out.push_back(chunk);
        }
    };
    for (const auto& hit : searchChunks(question, 30, std::vector<std::string>{"transcript", "article", "comment"})) {
        take(hit.chunk);
    }
    std::vector<ScreenCapture> screen = searchScreen(question, 12);
    for (const auto& recent : screenCaptures(now() - 86400, 10, false)) {
        bool listed =
            std::any_of(screen.begin(), screen.end(), [&](const ScreenCapture& c) { return c.id == recent.id; });
        if (!listed) {
            screen.push_back(recent);
        }
    }
    for (std::size_t i = 0; i < screen.size() && i < 16; ++i) {
        take(screenChunk(screen[i]));
    }
    if (out.size() < limit) {
        for (const auto& row : db.query("SELECT id FROM source WHERE muted = 0 ORDER BY last_seen DESC LIMIT ?",
                                        {SQLiteDB::Value(recentSources)})) {
            for (const auto& chunk : chunks(row.integer("id"))) {
                if (out.size() >= limit) {
                    break;
                }
                if (chunk.kind == "transcript" || chunk.kind == "article") {
                    take(chunk);
                }
            }
            if (out.size() >= limit) {
                break;
            }
        }
    }
    if (out.size() > limit) {
        out.resize(limit);
    }
    return out;
}

std::string MemoryStore::momentURL(const ChunkRecord& chunk, std::optional<int64_t> ms) {
    if (chunk.kind == "saved") {
        if (!URLSafety::isWeb(chunk.sourceURL)) {
            return "";
        }
        return TextFragment::url(chunk.sourceURL, chunk.text).value_or(chunk.sourceURL);
    }
    if (chunk.kind == "screen") {
        if (URLSafety::isWeb(chunk.sourceURL)) {
            return chunk.sourceURL;
        }
        std::string key = chunk.sourceKey.rfind("screen:", 0) == 0 ? chunk.sourceKey.substr(7) : chunk.sourceKey;
        return "app:" + key;
    }
    if (chunk.kind == "transcript" || chunk.kind == "comment") {
        std::string s = std::to_string((ms ? *ms : chunk.startMs.value_or(0)) / 1000);
        return chunk.sourceURL + "&t=" + s + "s#brell-at=" + s;
    }
    return openURL(chunk, std::nullopt, std::nullopt);
}

ContextPassage MemoryStore::contextPassage(const SearchHit& hit, std::size_t excerptChars) {
    const ChunkRecord& chunk = hit.chunk;
    bool transcript = chunk.kind == "transcript";
    ContextPassage passage;
    passage.kind =
        std::string(transcript ? "Video transcript" : "Article") + (chunk.isFixture() ? " (demo fixture)" : "");
    passage.title = chunk.sourceTitle;
    if (transcript) {
        passage.location = Timecode::format(hit.cueMs ? *hit.cueMs : chunk.startMs.value_or(0));
    } else if (chunk.heading) {
        passage.location = "\u201C" + *chunk.heading + "\u201D";
    }
    passage.text = chunk.passage(hit.cueMs, excerptChars);
    try {
        if (auto label = exposure(chunk, hit.cueMs)) {
            passage.status = display(*label, chunk.sourceKind);
        }
    } catch (const std::exception&) {
        // The passage stands without saying whether the user met it.
    }
    passage.link = momentURL(chunk, hit.cueMs);
    return passage;
}

std::vector<ContextPassage> MemoryStore::momentPassages(std::string_view query, std::size_t limit) {
    auto hits = searchChunks(query, static_cast<int64_t>(std::max<std::size_t>(12, 6 * limit)),
                             std::vector<std::string>{"transcript", "article"});
    std::vector<ContextPassage> out;
    std::map<int64_t, int> perSource;
    std::set<std::string> seen;
    for (const auto& hit : hits) {
        if (out.size() >= limit) {
            break;
        }
        const ChunkRecord& chunk = hit.chunk;
        if (perSource[chunk.sourceID] >= 3) {
            continue;
        }
        std::string key =
            std::to_string(chunk.sourceID) + "|" + std::to_string(hit.cueMs.value_or(-1)) + "|" + chunk.locator;
        if (!seen.insert(key).second) {
            continue;
        }
        ++perSource[chunk.sourceID];
        out.push_back(contextPassage(hit, 360));
    }
    return out;
}

} // namespace brell
