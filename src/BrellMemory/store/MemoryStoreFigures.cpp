// The figures the application shows about the memory.
#include "BrellMemory/db/MemoryStore.h"

namespace brell {

using Value = SQLiteDB::Value;

bool MemoryStore::hasFullTextSearch() noexcept {
    try {
        return meta("fts5") == "1";
    } catch (const std::exception&) {
        return false; // an unreadable setting only means the index cannot be trusted
    }
}

int64_t MemoryStore::sourceCount() {
    return db.one("SELECT count(*) AS n FROM source")->integer("n");
}

int64_t MemoryStore::chunkCount() {
    return db.one("SELECT count(*) AS n FROM chunk")->integer("n");
}

int64_t MemoryStore::commentCount(int64_t sourceID) {
    return db.one("SELECT count(*) AS n FROM chunk WHERE source_id = ? AND kind = 'comment'", {Value(sourceID)})
        ->integer("n");
}

} // namespace brell
