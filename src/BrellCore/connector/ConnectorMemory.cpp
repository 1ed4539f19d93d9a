#include "BrellCore/connector/ConnectorMemory.h"

namespace brell {

MemoryStore* ConnectorMemory::store() {
    if (!store_) {
        store_ = MemoryStore::openReadOnly(path_);
    }
    return store_.get();
}

} // namespace brell
