#include "BrellMemory/db/MemoryBackup.h"

#include <unistd.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/db/Schema.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"

namespace brell::MemoryBackup {
namespace {

using Value = SQLiteDB::Value;

// A name the store gives: a session id, or a frame number and ".jpg". Anything else
// in a copy's rows (a path, "..") is never used to build a path.
bool isSessionName(const std::string& name) {
    return !name.empty() && name.size() <= 18 && name.find_first_not_of("0123456789") == std::string::npos;
}

bool isPictureName(const std::string& name) {
    return name.size() > 4 && name.size() <= 24 && name.ends_with(".jpg") &&
           isSessionName(name.substr(0, name.size() - 4));
}

std::string partial(const std::string& path, const char* what) {
    return FileSystem::parentFolder(path) + "/." + FileSystem::fileName(path) + "." + what + "-" +
           std::to_string(::getpid());
}

// Copies the pictures named by the frame rows of the database at `database` from the
// session folders under `from` into a new folder `to` (0700, pictures 0600).
Result copyPictures(const std::string& database, const std::string& from, const std::string& to) {
    Result result;
    FolderTree::removeAll(to);
    FileSystem::makeFolders(to, 0700);
    for (const auto& row : SQLiteDB::queryFile(database, "SELECT session_id, file FROM visual_frame")) {
        std::string session = std::to_string(row.integer("session_id"));
        std::string file = row.text("file");
        if (!isSessionName(session) || !isPictureName(file)) {
            ++result.missingPictures;
            continue;
        }
        auto bytes = from.empty() ? std::nullopt : FileSystem::read(from + "/" + session + "/" + file);
        if (!bytes) {
            ++result.missingPictures;
            continue;
        }
        FileSystem::makeFolders(to + "/" + session, 0700);
        FileSystem::writeAtomically(to + "/" + session + "/" + file, *bytes);
        ++result.pictures;
    }
    return result;
}

// Puts the folder `staged` in the place of `target`, removing what was there.
void replaceFolder(const std::string& staged, const std::string& target) {
    std::string old = partial(target, "old");
    FolderTree::removeAll(old);
    if (FileSystem::exists(target)) {
        FileSystem::move(target, old);
    }
    FileSystem::move(staged, target);
    FolderTree::removeAll(old);
}

std::string text(const std::vector<SQLiteDB::Row>& rows, const char* column) {
    return rows.empty() ? "" : rows.front().text(column);
}

// The checks a copy must pass before it replaces anything.
void checkCopy(MemoryStore& store, const std::string& file) {
    if (!FileSystem::exists(file) || FileSystem::isFolder(file)) {
        throw Refusal("there is no backup at " + file + "; give the file brell memory backup wrote.");
    }
    std::vector<SQLiteDB::Row> integrity;
    try {
        integrity = SQLiteDB::queryFile(file, "PRAGMA integrity_check");
    } catch (const SQLiteDB::DBError& e) {
        throw Refusal(file + " is not a BRELL memory backup (" + e.message() + "); nothing was changed.");
    }
    if (integrity.size() != 1 || text(integrity, "integrity_check") != "ok") {
        throw Refusal(file + " is damaged (" + text(integrity, "integrity_check") +
                      "); nothing was changed. Restore another backup.");
    }
    std::string version;
    try {
        version = text(SQLiteDB::queryFile(file, "SELECT value FROM meta WHERE key = 'schema_version'"), "value");
        if (SQLiteDB::queryFile(file, "SELECT id FROM consent WHERE id = 1").empty()) {
            version.clear();
        }
    } catch (const SQLiteDB::DBError&) {
        version.clear();
    }
    if (version.empty()) {
        throw Refusal(file + " is not a BRELL memory backup; nothing was changed.");
    }
    if (version != std::to_string(Schema::currentVersion)) {
        throw Refusal(file + " holds a memory of schema version " + version + ", but this brell restores version " +
                      std::to_string(Schema::currentVersion) + " only; nothing was changed.");
    }
    auto pageSize = [](const std::vector<SQLiteDB::Row>& rows) {
        return rows.empty() ? 0 : rows[0].integer("page_size");
    };
    if (pageSize(SQLiteDB::queryFile(file, "PRAGMA page_size")) != pageSize(store.db.query("PRAGMA page_size"))) {
        throw Refusal(file + " was written with another page size than this memory; nothing was changed.");
    }
}

void requireFile(MemoryStore& store) {
    if (store.visualDirectory().empty()) {
        throw Refusal("a memory held in RAM has no file to back up or restore.");
    }
}

} // namespace

std::string picturesFolder(const std::string& file) {
    return file + "-Visual";
}

Result backup(MemoryStore& store, const std::string& file) {
    requireFile(store);
    auto live = FileSystem::realPath(store.db.path());
    auto target = FileSystem::realPath(file);
    if (FileSystem::isFolder(file)) {
        throw Refusal(file + " is a folder; give the name of the backup file to write.");
    }
    if (live && target && *live == *target) {
        throw Refusal("the backup must go to another file than the memory itself.");
    }
    std::string copy = partial(file, "partial");
    std::string pictures = partial(picturesFolder(file), "partial");
    try {
        store.db.backupTo(copy);
        // The pictures the copy's rows name; a picture deleted since is left out.
        Result result = copyPictures(copy, store.visualDirectory(), pictures);
        FileSystem::move(copy, file);
        replaceFolder(pictures, picturesFolder(file));
        return result;
    } catch (...) {
        try {
            (void)FileSystem::remove(copy);
            FolderTree::removeAll(pictures);
        } catch (...) {
            // The original failure is the one to report.
        }
        throw;
    }
}

Result restore(MemoryStore& store, const std::string& file) {
    requireFile(store);
    checkCopy(store, file);
    std::string visual = store.visualDirectory();
    std::string staged = partial(visual, "restore");
    try {
        std::string from = FileSystem::isFolder(picturesFolder(file)) ? picturesFolder(file) : "";
        Result result = copyPictures(file, from, staged);
        int64_t epoch = store.state().epoch;
        store.db.restoreFrom(file);
        // The epoch only grows: the companion must see a change, whatever the copy held.
        // The pictures are swapped under the same write lock, so no frame is added
        // between the two.
        store.db.transaction([&] {
            store.db.run("UPDATE consent SET epoch = max(epoch, ?) + 1, updated_at = ? WHERE id = 1",
                         {Value(epoch), Value(store.now())});
            replaceFolder(staged, visual);
        });
        return result;
    } catch (...) {
        try {
            FolderTree::removeAll(staged);
        } catch (...) {
            // The original failure is the one to report.
        }
        throw;
    }
}

} // namespace brell::MemoryBackup
