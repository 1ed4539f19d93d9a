// Passages about a topic for the assistant connector.
#include "BrellMemory/db/MemoryStore.h"

#include <map>

#include "BrellMemory/store/Timecode.h"

namespace brell {

std::vector<ContextPassage> MemoryStore::contextPassages(std::string_view topic, std::size_t limit) {
    std::vector<ContextPassage> out;
    if (limit == 0) {
        return out;
    }
    auto hits = searchChunks(topic, static_cast<int64_t>(4 * limit), std::vector<std::string>{"transcript", "article"});
    std::map<int64_t, int> perSource;
    for (const auto& hit : hits) {
        if (out.size() >= limit) {
            break;
        }
        const ChunkRecord& chunk = hit.chunk;
        if (perSource[chunk.sourceID] >= 2) {
            continue;
        }
        ++perSource[chunk.sourceID];
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
        passage.text = chunk.passage(hit.cueMs, 500);
        try {
            if (auto label = exposure(chunk, hit.cueMs)) {
                passage.status = display(*label, chunk.sourceKind);
            }
        } catch (const std::exception&) {
            // The passage stands without saying whether the user met it.
        }
        passage.link = momentURL(chunk, hit.cueMs);
        out.push_back(std::move(passage));
    }
    return out;
}

} // namespace brell
