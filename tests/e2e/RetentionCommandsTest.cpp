// The brell application's forgetting commands: retention, purge, clear, sources, and
// a backup put back.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/visual/TinyJpeg.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

class RetentionCommandsTest : public ::testing::Test {
protected:
    test::AppHome home;

    test::ProcessResult brell(std::vector<std::string> args, std::string input = "") {
        return home.brell(std::move(args), std::move(input));
    }
    std::string ok(std::vector<std::string> args) {
        auto r = brell(std::move(args));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return r.out;
    }
    // Writes straight into the memory, as the companion would have over time.
    void write(const std::string& sql, const SQLiteDB::Params& params = {}) {
        MemoryStore store(home.memoryPath());
        store.db.run(sql, params);
    }
    void addSource(int64_t id, double lastSeenDaysAgo) {
        double at = static_cast<double>(std::time(nullptr)) - lastSeenDaysAgo * 86400;
        write("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
              "(?, ?, 'video', 'https://www.youtube.com/watch?v=abc', 'Tides explained', 'https://www.youtube.com', ?, "
              "?)",
              {Value(id), Value("youtube:v" + std::to_string(id)), Value(at), Value(at)});
    }
    int64_t count(const std::string& table) {
        MemoryStore store(home.memoryPath());
        return store.db.one("SELECT count(*) AS n FROM " + table)->integer("n");
    }
};

TEST_F(RetentionCommandsTest, RetentionIsShownSetAndLimitedToThreeValues) {
    EXPECT_EQ(ok({"memory", "retention"}), "Memory keeps what it saw for 30 days.\n");
    addSource(1, 10);
    addSource(2, 1);
    EXPECT_EQ(ok({"memory", "retention", "7"}), "Memory now keeps what it saw for 7 days. Removed 1 source.\n");
    EXPECT_EQ(ok({"memory", "retention"}), "Memory keeps what it saw for 7 days.\n");
    auto bad = brell({"memory", "retention", "14"});
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_NE(bad.err.find("retention is 7, 30 or 90 days, not 14"), std::string::npos) << bad.err;
    EXPECT_EQ(ok({"memory", "retention"}), "Memory keeps what it saw for 7 days.\n");
}

TEST_F(RetentionCommandsTest, PurgeSaysWhatItRemovedAndRunsDailyByItself) {
    addSource(1, 40);
    write("INSERT INTO ingested_event(event_id, expires_at) VALUES ('e', 1)");
    EXPECT_EQ(ok({"memory", "purge"}), "Removed 1 source and 1 expired event id.\n");
    EXPECT_EQ(ok({"memory", "purge"}), "Nothing to remove: memory holds nothing older than 30 days.\n");

    // A day later any command that opens the memory purges first.
    write("UPDATE meta SET value = '1000' WHERE key = 'last_purge'");
    addSource(2, 40);
    ok({"sources", "list"});
    EXPECT_EQ(count("source"), 0);
    std::string doctor = ok({"doctor"});
    EXPECT_NE(doctor.find("  last purge 20"), std::string::npos) << doctor;
    EXPECT_NE(doctor.find(", keeping 30 days\n"), std::string::npos) << doctor;
    // Within the day it does not.
    addSource(3, 40);
    ok({"sources"});
    EXPECT_EQ(count("source"), 1);
}

TEST_F(RetentionCommandsTest, SourcesAreListedMutedAndDeleted) {
    ok({"memory", "on"});
    addSource(1, 1);
    Json listed = Json::parse(ok({"sources", "--json"}));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["title"], "Tides explained");
    EXPECT_EQ(listed[0]["muted"], false);
    EXPECT_EQ(ok({"sources", "mute", "1"}), "Source 1 is muted; suggestions citing it were withdrawn.\n");
    EXPECT_EQ(Json::parse(ok({"sources", "list", "--json"}))[0]["muted"], true);
    EXPECT_NE(ok({"sources"}).find("#1  [video] Tides explained  (muted)\n"), std::string::npos);
    EXPECT_EQ(ok({"sources", "unmute", "1"}), "Source 1 is no longer muted.\n");
    int64_t epoch = Json::parse(ok({"memory", "status", "--json"}))["epoch"];
    EXPECT_EQ(ok({"sources", "delete", "1"}), "Deleted source 1 with its sessions, passages and transcript.\n");
    EXPECT_EQ(Json::parse(ok({"memory", "status", "--json"}))["epoch"], epoch + 1);
    EXPECT_EQ(ok({"sources"}), "Memory keeps no videos or articles.\n");
    for (const char* action : {"mute", "unmute", "delete"}) {
        SCOPED_TRACE(action);
        auto r = brell({"sources", action, "1"});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "brell: there is no source 1; list them with: brell sources\n");
    }
}

TEST_F(RetentionCommandsTest, ClearingNeedsConfirmation) {
    addSource(1, 1);
    auto refused = brell({"memory", "clear"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "brell: brell memory clear forgets everything memory keeps; confirm with --yes when not "
                           "on a terminal.\n");
    EXPECT_EQ(count("source"), 1);
    EXPECT_EQ(ok({"memory", "clear", "--yes"}),
              "Memory is cleared. Your switches, approved sites, brells and board are unchanged.\n");
    EXPECT_EQ(count("source"), 0);
}

TEST_F(RetentionCommandsTest, ABackupIsPutBackWithItsPictures) {
    addSource(1, 1);
    std::string session = ok({"visual", "start", "--app-id", "org.blender", "--app-name", "Blender"});
    session.pop_back();
    FileSystem::writeAtomically(home.file("shot.jpg"), test::tinyJpeg(5));
    ok({"visual", "add", session, home.file("shot.jpg")});
    std::string copy = home.file("backups/2026.sqlite");
    FileSystem::makeFolders(home.file("backups"));
    EXPECT_EQ(ok({"memory", "backup", copy}),
              "Backed up the memory to " + copy + ", with 1 picture in " + copy + "-Visual.\n");
    EXPECT_EQ(FileSystem::permissions(copy), 0600u);
    EXPECT_EQ(FileSystem::read(copy + "-Visual/" + session + "/000001.jpg"), test::tinyJpeg(5));

    ok({"memory", "clear", "--yes"});
    EXPECT_FALSE(FileSystem::exists(home.file("Visual/" + session)));
    EXPECT_EQ(ok({"memory", "restore", copy}), "Restored the memory from " + copy + ", with 1 picture.\n");
    EXPECT_EQ(count("source"), 1);
    EXPECT_EQ(FileSystem::read(home.file("Visual/" + session + "/000001.jpg")), test::tinyJpeg(5));
    EXPECT_NE(ok({"visual", "list"}).find("#" + session + "  Blender\n"), std::string::npos);

    FileSystem::writeAtomically(home.file("notes.txt"), std::string(4096, 'n'));
    auto refused = brell({"memory", "restore", home.file("notes.txt")});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "brell: " + home.file("notes.txt") +
                               " is not a BRELL memory backup (file is not a database); nothing was changed.\n");
    EXPECT_EQ(count("source"), 1);
}

} // namespace
} // namespace brell
