// Passages about a topic for the assistant connector.
#include "BrellMemory/db/MemoryStore.h"

#include <map>

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
        out.push_back(contextPassage(hit, 500));
    }
    return out;
}

} // namespace brell
