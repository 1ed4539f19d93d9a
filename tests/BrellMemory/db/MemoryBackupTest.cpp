#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BrellMemory/db/MemoryBackup.h"
#include "BrellMemory/visual/VisualFixture.h"
#include "platform/FileSystem.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;
using Strings = std::vector<std::string>;

class MemoryBackupTest : public ::testing::Test, protected test::VisualMemory {
protected:
    test::TempFolder elsewhere;
    std::string file = elsewhere.file("copy.sqlite");

    void addSource(int64_t id) {
        store.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                     "(?, ?, 'video', 'u', 'Tides', 'o', 1, 1)",
                     {Value(id), Value("youtube:v" + std::to_string(id))});
    }
    std::vector<int64_t> sources() {
        std::vector<int64_t> out;
        for (const auto& row : store.db.query("SELECT id FROM source ORDER BY id")) {
            out.push_back(row.integer("id"));
        }
        return out;
    }
};

TEST_F(MemoryBackupTest, ACopyAndItsPicturesComeBack) {
    addSource(1);
    int64_t kept = session(2);
    auto result = MemoryBackup::backup(store, file);
    EXPECT_EQ(result.pictures, 2);
    EXPECT_EQ(test::mode(file), 0600u);
    std::string pictures = MemoryBackup::picturesFolder(file);
    EXPECT_EQ(pictures, file + "-Visual");
    EXPECT_EQ(test::mode(pictures), 0700u);
    EXPECT_EQ(test::mode(pictures + "/" + std::to_string(kept)), 0700u);
    EXPECT_EQ(test::mode(store.visualURL(store.visualFrames(kept)[0]).replace(0, visual().size(), pictures)), 0600u);
    // One file: no journal beside it that a later reader would need.
    EXPECT_FALSE(FileSystem::exists(file + "-wal"));
    EXPECT_EQ(SQLiteDB::queryFile(file, "PRAGMA journal_mode")[0].text("journal_mode"), "delete");

    // Life goes on: a source deleted, another added, the pictures changed.
    Strings before = files();
    store.deleteSource(1);
    addSource(2);
    store.clearVisualMemory();
    int64_t later = session(1);
    int64_t epoch = store.state().epoch;

    auto restored = MemoryBackup::restore(store, file);
    EXPECT_EQ(restored.pictures, 2);
    EXPECT_EQ(restored.missingPictures, 0);
    EXPECT_EQ(sources(), (std::vector<int64_t>{1}));
    EXPECT_TRUE(store.visualSession(kept));
    EXPECT_FALSE(store.visualSession(later));
    EXPECT_EQ(files(), before);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(test::mode(visual()), 0700u);
    EXPECT_GT(store.state().epoch, epoch); // the companion learns that everything changed
    // Another connection, as the companion host holds, sees the restored content.
    MemoryStore other(tmp.file("Memory.sqlite"));
    EXPECT_EQ(other.source(1)->title, "Tides");
    EXPECT_FALSE(other.source(2));
}

TEST_F(MemoryBackupTest, ACopyTakenWhileAnotherProcessWritesIsOneMoment) {
    // Another connection, as the companion host holds, adds sources two at a time in
    // one transaction each: a consistent copy always holds an even number of them.
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        MemoryStore host(tmp.file("Memory.sqlite"));
        for (int64_t id = 1; !stop; id += 2) {
            host.db.transaction([&] {
                for (int64_t i : {id, id + 1}) {
                    host.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) "
                                "VALUES (?, ?, 'video', 'u', 'Tides', 'o', 1, 1)",
                                {Value(i), Value("youtube:w" + std::to_string(i))});
                }
            });
            written += 2;
        }
    });
    while (written < 50) {
        std::this_thread::yield();
    }
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        MemoryBackup::backup(store, file);
        EXPECT_EQ(SQLiteDB::queryFile(file, "PRAGMA integrity_check")[0].text("integrity_check"), "ok");
        int64_t copied = SQLiteDB::queryFile(file, "SELECT count(*) AS n FROM source")[0].integer("n");
        EXPECT_GE(copied, 50);
        EXPECT_EQ(copied % 2, 0);
    }
    stop = true;
    writer.join();
}

TEST_F(MemoryBackupTest, APictureGoneBeforeTheCopyIsCountedMissing) {
    int64_t id = session(2);
    FileSystem::remove(store.visualURL(store.visualFrames(id)[0]));
    auto result = MemoryBackup::backup(store, file);
    EXPECT_EQ(result.pictures, 1);
    EXPECT_EQ(result.missingPictures, 1);
    auto again = MemoryBackup::backup(store, file); // replaces the earlier copy
    EXPECT_EQ(again.pictures, 1);
}

TEST_F(MemoryBackupTest, UnusableCopiesAreRefusedBeforeAnythingChanges) {
    addSource(1);
    session(1);
    MemoryBackup::backup(store, file);
    std::string damaged = elsewhere.file("damaged.sqlite");
    {
        std::string bytes = *FileSystem::read(file);
        bytes[4096] = '\x07'; // the second page's kind: no kind of page there is
        bytes[4096 + 3] = '\x7F';
        FileSystem::writeAtomically(damaged, bytes);
    }
    std::string notDatabase = elsewhere.file("notes.txt");
    FileSystem::writeAtomically(notDatabase, std::string(5000, 'x'));
    std::string otherDatabase = elsewhere.file("other.sqlite");
    SQLiteDB(otherDatabase).exec("CREATE TABLE t(x); INSERT INTO t VALUES (1);");
    std::string oldVersion = elsewhere.file("old.sqlite");
    {
        MemoryStore copy(oldVersion);
        copy.db.run("UPDATE meta SET value = '5' WHERE key = 'schema_version'");
    }

    struct Case {
        const char* name;
        std::string file;
        std::string message;
    };
    const Case cases[] = {
        {"missing", elsewhere.file("none.sqlite"),
         "there is no backup at " + elsewhere.file("none.sqlite") + "; give the file brell memory backup wrote."},
        {"not a database", notDatabase,
         notDatabase + " is not a BRELL memory backup (file is not a database); nothing was changed."},
        {"another program's database", otherDatabase,
         otherDatabase + " is not a BRELL memory backup; nothing was changed."},
        {"another schema version", oldVersion,
         oldVersion + " holds a memory of schema version 5, but this brell restores version 6 only; nothing was "
                      "changed."},
    };
    addSource(2);
    Strings picturesBefore = files();
    int64_t epoch = store.state().epoch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            MemoryBackup::restore(store, c.file);
            ADD_FAILURE() << "restored";
        } catch (const MemoryBackup::Refusal& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(sources(), (std::vector<int64_t>{1, 2}));
        EXPECT_EQ(files(), picturesBefore);
        EXPECT_EQ(store.state().epoch, epoch);
    }
    // Damage is found by the integrity check, whatever its first complaint says.
    try {
        MemoryBackup::restore(store, damaged);
        ADD_FAILURE() << "restored a damaged copy";
    } catch (const MemoryBackup::Refusal& e) {
        EXPECT_NE(std::string(e.what()).find("nothing was changed"), std::string::npos) << e.what();
    } catch (const SQLiteDB::DBError&) {
        ADD_FAILURE() << "a damaged copy must be refused with a sentence";
    }
    EXPECT_EQ(sources(), (std::vector<int64_t>{1, 2}));
}

TEST_F(MemoryBackupTest, TheMemoryIsNeverItsOwnBackup) {
    try {
        MemoryBackup::backup(store, tmp.file("Memory.sqlite"));
        ADD_FAILURE();
    } catch (const MemoryBackup::Refusal& e) {
        EXPECT_STREQ(e.what(), "the backup must go to another file than the memory itself.");
    }
    MemoryStore ram(":memory:");
    EXPECT_THROW(MemoryBackup::backup(ram, file), MemoryBackup::Refusal);
}

} // namespace
} // namespace brell
