#pragma once
// The memory as the connector process reads it: Memory.sqlite opened read-only, never
// created or migrated. While the file is missing or not at the current schema version
// (the application has not created or upgraded it yet) there is no store, so the
// memory tools find nothing; every later use tries to open it again, so a memory
// created while an assistant is connected is found without restarting the connector.
//
// Owned by the connector process and shared by its provider functions; one thread at
// a time. Never throws (only std::bad_alloc).
#include <memory>
#include <string>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {

class ConnectorMemory {
public:
    explicit ConnectorMemory(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The open store, opening it first when needed; nothing while it cannot be opened.
    MemoryStore* store();

private:
    std::string path_;
    std::unique_ptr<MemoryStore> store_;
};

} // namespace brell
