#include "BrellMemory/db/Schema.h"

#include <map>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

// The columns of every table of the current schema, in order.
const std::map<std::string, std::string> currentColumns = {
    {"meta", "key,value"},
    {"consent", "id,decided,enabled,paused,epoch,youtube,provider_consent,proactive,retention_days,snooze_until,"
                "updated_at,screen"},
    {"allowed_origin", "origin,index_text,muted,granted_at"},
    {"source", "id,key,kind,url,title,origin,first_seen,last_seen,muted,transcript_status,comments_status"},
    {"session", "id,source_id,active_wall_ms,started_at,last_seen,played_wall_ms"},
    {"exposure", "id,session_id,kind,start_ms,end_ms,locator,label"},
    {"chunk", "id,source_id,kind,text,heading,locator,start_ms,end_ms,cues,retrieved_at,content_hash,provenance,"
              "available"},
    {"project", "id,name,keywords,archived,muted,created_at"},
    {"project_task", "id,project_id,title,objective,status,context_source,revision,updated_at"},
    {"insight", "id,project_id,task_id,task_revision,fingerprint,action_signature,evidence_hash,relationship,title,"
                "why_now,next_step,expected_outcome,uncertainty,origin,model,score,score_detail,eligible,hold_reason,"
                "status,consent_epoch,created_at,last_shown"},
    {"insight_evidence", "insight_id,chunk_id,role,claim,verdict,position"},
    {"feedback", "id,insight_id,project_id,reason,action_signature,source_id,at"},
    {"delivery", "id,insight_id,project_id,context_revision,channel,at"},
    {"ingested_event", "event_id,expires_at"},
    {"screen_capture", "id,at,last_at,app_bundle,app_name,window_title,url,text,text_hash,summary,summary_hash,topic"},
    {"visual_session", "id,started_at,ended_at,app_bundle,app_name,window_title,url,note,text"},
    {"visual_frame", "id,session_id,at,file,starred"},
};

const char* const currentIndexes[] = {"session_source", "exposure_session", "chunk_source",  "task_project",
                                      "screen_at",      "screen_topic",     "screen_window", "visual_frame_session"};

void expectCurrentSchema(SQLiteDB& db) {
    for (const auto& [table, columns] : currentColumns) {
        SCOPED_TRACE(table);
        std::string found;
        for (const auto& row : db.query("SELECT name FROM pragma_table_info(?)", {SQLiteDB::Value(table)})) {
            found += (found.empty() ? "" : ",") + row.text("name");
        }
        EXPECT_EQ(found, columns);
    }
    for (const char* index : currentIndexes) {
        EXPECT_TRUE(
            db.one("SELECT 1 AS x FROM sqlite_master WHERE type = 'index' AND name = ?", {SQLiteDB::Value(index)}))
            << index;
    }
    for (const char* name :
         {"chunk_fts", "screen_fts", "chunk_ai", "chunk_ad", "chunk_au", "screen_ai", "screen_ad", "screen_au"}) {
        EXPECT_TRUE(db.one("SELECT 1 AS x FROM sqlite_master WHERE name = ?", {SQLiteDB::Value(name)})) << name;
    }
    EXPECT_EQ(db.one("SELECT value FROM meta WHERE key = 'schema_version'")->text("value"), "6");
    EXPECT_EQ(db.one("SELECT value FROM meta WHERE key = 'fts5'")->text("value"), "1");
    EXPECT_EQ(db.one("PRAGMA integrity_check")->text("integrity_check"), "ok");
}

// An old file holding one row of each kind that existed at its version.
void buildOldFile(const std::string& path, int version) {
    SQLiteDB db(path);
    Schema::buildVersion(db, version);
    db.exec(
        "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) "
        "VALUES (7, 'k', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'T', 'https://www.youtube.com', 1, 2);"
        "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s1', 7, 5000, 1, 2);"
        "INSERT INTO exposure(id, session_id, kind, start_ms, end_ms) VALUES (41, 's1', 'range', 0, 1000);"
        "INSERT INTO exposure(id, session_id, kind, locator, label) VALUES (42, 's1', 'anchor', 'p1', 'Intro');"
        "INSERT INTO chunk(id, source_id, kind, text, locator, retrieved_at, content_hash) "
        "VALUES (9, 7, 'metadata', 'an old remembered title', 'title', 1, 'h');"
        "UPDATE consent SET enabled = 1, epoch = 5 WHERE id = 1;");
    if (version >= 3) {
        db.exec("INSERT INTO screen_capture(id, at, last_at, app_bundle, app_name, window_title, text, text_hash) "
                "VALUES (3, 1, 2, 'b', 'App', 'Window', 'screen words', 'h')");
    }
}

class SchemaTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string path = tmp.file("Memory.sqlite");
};

TEST_F(SchemaTest, NewFileGetsTheCurrentSchemaAndOneConsentRow) {
    MemoryStore store(path);
    expectCurrentSchema(store.db);
    auto rows = store.db.query("SELECT * FROM consent");
    ASSERT_EQ(rows.size(), 1u);
    const auto& c = rows[0];
    EXPECT_EQ(c.integer("id"), 1);
    EXPECT_EQ(c.integer("epoch"), 1);
    EXPECT_EQ(c.integer("proactive"), 1);
    EXPECT_EQ(c.integer("retention_days"), 30);
    for (const char* zero : {"decided", "enabled", "paused", "youtube", "provider_consent", "screen"}) {
        EXPECT_EQ(c.integer(zero), 0) << zero;
    }
    EXPECT_TRUE(c["snooze_until"].isNull());
    EXPECT_FALSE(FileSystem::exists(Schema::backupPath(path, 0)));
}

TEST_F(SchemaTest, EveryOldVersionMigratesKeepingRowsAndIds) {
    for (int version = 1; version <= 5; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        test::TempFolder folder;
        std::string file = folder.file("Memory.sqlite");
        buildOldFile(file, version);
        MemoryStore store(file);
        expectCurrentSchema(store.db);
        auto exposure = store.db.query("SELECT id, kind, locator FROM exposure ORDER BY id");
        ASSERT_EQ(exposure.size(), 2u);
        EXPECT_EQ(exposure[0].integer("id"), 41);
        EXPECT_EQ(exposure[1].integer("id"), 42);
        EXPECT_EQ(exposure[1].text("locator"), "p1");
        EXPECT_EQ(store.db.one("SELECT played_wall_ms FROM session WHERE id = 's1'")->integer("played_wall_ms"), 0);
        EXPECT_EQ(store.db.one("SELECT epoch FROM consent")->integer("epoch"), 5);
        // The existing chunk is in the new full-text index.
        EXPECT_TRUE(store.db.one("SELECT rowid FROM chunk_fts WHERE chunk_fts MATCH 'remembered'"));
        // 'played' exposure is allowed now.
        store.db.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'played', 0, 5)");
        if (version >= 3) {
            EXPECT_EQ(store.db.one("SELECT text FROM screen_capture WHERE id = 3")->text("text"), "screen words");
        }
        // The backup is the old file, owner-only.
        std::string backup = Schema::backupPath(file, version);
        ASSERT_TRUE(FileSystem::exists(backup));
        EXPECT_EQ(FileSystem::permissions(backup), 0600u);
        SQLiteDB old(backup);
        EXPECT_EQ(Schema::version(old), version);
        EXPECT_EQ(old.one("SELECT count(*) AS n FROM exposure")->integer("n"), 2);
    }
}

bool hasIndex(SQLiteDB& db, const char* name) {
    return db.one("SELECT 1 AS x FROM sqlite_master WHERE type = 'index' AND name = ?", {SQLiteDB::Value(name)})
        .has_value();
}

// A file written at version 6 before the window index existed gets it when a store
// opens it, and stays a version-6 file: no upgrade, no backup, every row kept.
TEST_F(SchemaTest, AVersion6FileGainsTheWindowIndexWhenOpened) {
    buildOldFile(path, 6);
    {
        SQLiteDB db(path);
        ASSERT_FALSE(hasIndex(db, "screen_window"));
    }
    MemoryStore store(path);
    EXPECT_TRUE(hasIndex(store.db, "screen_window"));
    EXPECT_EQ(store.meta("schema_version"), "6");
    EXPECT_FALSE(FileSystem::exists(Schema::backupPath(path, 6)));
    EXPECT_EQ(store.db.one("SELECT epoch FROM consent")->integer("epoch"), 5);
    EXPECT_EQ(store.db.one("SELECT text FROM screen_capture WHERE id = 3")->text("text"), "screen words");
    // The newest record of a window is found in the index, not by walking screen_at.
    std::string plan;
    for (const auto& row :
         store.db.query("EXPLAIN QUERY PLAN SELECT id, text, text_hash FROM screen_capture WHERE app_bundle = ? AND "
                        "window_title = ? ORDER BY last_at DESC LIMIT 1",
                        {SQLiteDB::Value("b"), SQLiteDB::Value("Window")})) {
        plan += row.text("detail") + "\n";
    }
    EXPECT_NE(plan.find("USING INDEX screen_window"), std::string::npos) << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
}

TEST_F(SchemaTest, NewerFileIsLeftUntouched) {
    {
        SQLiteDB db(path);
        db.exec("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                "INSERT INTO meta VALUES ('schema_version', '7');"
                "CREATE TABLE future(x)");
    }
    MemoryStore store(path);
    EXPECT_EQ(store.meta("schema_version"), "7");
    EXPECT_FALSE(store.meta("fts5"));
    EXPECT_FALSE(store.db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'consent'"));
}

// A version too large for 32 bits, or for 64, is still a version from the future: the
// file is opened as it is, never migrated again from version 0.
TEST_F(SchemaTest, NewerFileIsLeftUntouchedHoweverLargeItsVersion) {
    for (const char* version : {"2147483648", "99999999999", "9223372036854775807", "99999999999999999999999"}) {
        SCOPED_TRACE(version);
        test::TempFolder folder;
        std::string file = folder.file("Memory.sqlite");
        buildOldFile(file, 6);
        {
            SQLiteDB db(file);
            db.run("UPDATE meta SET value = ? WHERE key = 'schema_version'", {SQLiteDB::Value(version)});
            EXPECT_GE(Schema::version(db), 6);
        }
        MemoryStore store(file);
        EXPECT_EQ(store.meta("schema_version"), version);
        EXPECT_FALSE(FileSystem::exists(Schema::backupPath(file, 0)));
        EXPECT_EQ(store.db.one("SELECT count(*) AS n FROM exposure")->integer("n"), 2);
        EXPECT_FALSE(hasIndex(store.db, "screen_window"));
    }
}

TEST_F(SchemaTest, NonNumericVersionFailsToOpenAndLeavesTheFileAsItWas) {
    buildOldFile(path, 2);
    {
        SQLiteDB db(path);
        db.exec("UPDATE meta SET value = 'two' WHERE key = 'schema_version'");
    }
    EXPECT_THROW(MemoryStore{path}, SQLiteDB::DBError);
    SQLiteDB db(path);
    EXPECT_EQ(db.one("SELECT value FROM meta WHERE key = 'schema_version'")->text("value"), "two");
    EXPECT_FALSE(db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'screen_capture'"));
    EXPECT_EQ(db.one("SELECT count(*) AS n FROM exposure")->integer("n"), 2);
}

TEST_F(SchemaTest, FullTextFailureIsRecordedAndTheStoreStillOpens) {
    buildOldFile(path, 5);
    {
        // An object already holding one of the index's trigger names makes its creation fail.
        SQLiteDB db(path);
        db.exec("CREATE TRIGGER chunk_ai AFTER INSERT ON project BEGIN SELECT 1; END");
    }
    MemoryStore store(path);
    EXPECT_EQ(store.meta("schema_version"), "6");
    EXPECT_EQ(store.meta("fts5"), "0");
    EXPECT_FALSE(store.db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'chunk_fts'"));
    EXPECT_FALSE(store.db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'chunk_ad'"));
    // Chunks can still be written.
    store.db.run("INSERT INTO chunk(source_id, kind, text, locator, retrieved_at, content_hash) "
                 "VALUES (7, 'note', 'x', 'n', 1, 'h2')");
}

TEST_F(SchemaTest, TwoProcessesOpeningAnOldFileMigrateItOnce) {
    buildOldFile(path, 2);
    {
        SQLiteDB db(path);
        db.exec("CREATE TABLE migrations(at REAL);"
                "CREATE TRIGGER count_migrations AFTER INSERT ON meta WHEN new.key = 'schema_version' "
                "BEGIN INSERT INTO migrations VALUES (julianday('now')); END");
    }
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1); // released together when the parent closes the gate
            try {
                MemoryStore store(path);
                _exit(store.meta("schema_version") == "6" ? 0 : 2);
            } catch (...) {
                _exit(3);
            }
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SQLiteDB db(path);
    EXPECT_EQ(db.one("SELECT count(*) AS n FROM migrations")->integer("n"), 1);
    EXPECT_EQ(Schema::version(db), 6);
}

TEST(MemoryStoreTest, MetaAndSha) {
    MemoryStore store(":memory:");
    EXPECT_FALSE(store.meta("absent"));
    store.db.exec("INSERT INTO meta VALUES ('number', 12)");
    EXPECT_EQ(store.meta("number"), "12"); // TEXT affinity stores the number as text
    store.db.exec("CREATE TABLE loose(key, value); DROP TABLE meta; "
                  "CREATE TABLE meta(key PRIMARY KEY, value); INSERT INTO meta VALUES ('real', 1.5)");
    EXPECT_EQ(store.meta("real"), "");
    EXPECT_EQ(MemoryStore::sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(MemoryStore::sha("élan"), "640b44d5a7819f78e1665e17c79a316b6e187376639b170af5081dd3a6b03990");
}

TEST(MemoryStoreTest, DefaultPathHonoursTheEnvironment) {
    setenv("BRELL_MEMORY_DB", "~/x/Memory.sqlite", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(MemoryStore::defaultPath(), "/home/someone/x/Memory.sqlite");
    setenv("BRELL_MEMORY_DB", "", 1);
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(MemoryStore::defaultPath(), "/data/BRELL/Memory.sqlite");
    setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(MemoryStore::defaultPath(), "/home/someone/.local/share/BRELL/Memory.sqlite");
    unsetenv("BRELL_MEMORY_DB");
    unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace brell
