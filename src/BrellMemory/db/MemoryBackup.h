#pragma once
// MemoryBackup: a copy of the whole memory taken while other processes may be writing,
// and putting such a copy back. The database is copied with SQLite's online backup
// (never a raw copy of the file, which can be torn in WAL mode) into one owner-only
// file; the Visual pictures its rows name go into the folder beside it,
// picturesFolder(file). A restore checks the copy (integrity, schema version, page
// size) before anything changes, then replaces the memory's content in one write
// transaction, raises the capture epoch above both the current and the copied one (so
// the companion refreshes its state) and swaps the pictures in under the write lock.
//
// Free functions over a store the caller owns; one call at a time per store. Throw
// Refusal for a copy or a target that cannot be used, SQLiteDB::DBError and FileError
// for failures while working.
#include <cstdint>
#include <string>

#include "util/Error.h"

namespace brell {

class MemoryStore;

namespace MemoryBackup {

// A backup or restore that cannot be done, as one sentence for the user.
class Refusal : public Error {
public:
    explicit Refusal(const std::string& sentence) : Error(sentence) {}
};

struct Result {
    int64_t pictures = 0;        // pictures copied
    int64_t missingPictures = 0; // frames whose picture was already gone
};

// The folder holding the pictures of the backup at `file`: `file` + "-Visual".
std::string picturesFolder(const std::string& file);

// Writes the copy to `file` (replacing it) and its pictures beside it.
Result backup(MemoryStore& store, const std::string& file);

// Replaces the memory's content and pictures with the copy at `file`.
Result restore(MemoryStore& store, const std::string& file);

} // namespace MemoryBackup
} // namespace brell
