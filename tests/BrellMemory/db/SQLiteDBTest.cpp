#include "BrellMemory/db/SQLiteDB.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

class SQLiteDBTest : public ::testing::Test {
protected:
    SQLiteDB db{":memory:"};
    void SetUp() override { db.exec("CREATE TABLE t(id INTEGER PRIMARY KEY, x, y TEXT UNIQUE)"); }
};

TEST_F(SQLiteDBTest, RunReturnsTheChangeCount) {
    EXPECT_EQ(db.run("INSERT INTO t(x, y) VALUES (?, ?)", 1, "a"), 1);
    EXPECT_EQ(db.lastInsertID(), 1);
    EXPECT_EQ(db.run("UPDATE t SET x = 2 WHERE id = 99"), 0);
    // Only the first statement of a script runs.
    db.run("INSERT INTO t(x, y) VALUES (5, 'b'); INSERT INTO t(x, y) VALUES (6, 'c')");
    EXPECT_EQ(db.query("SELECT * FROM t").size(), 2u);
}

TEST_F(SQLiteDBTest, RowsMapColumnTypesAndAccessors) {
    db.run("INSERT INTO t(x, y) VALUES (?, ?)", {Value(2.75), Value(nullptr)});
    db.run("INSERT INTO t(x, y) VALUES (?, ?)", {Value(2), Value("text")});
    db.run("INSERT INTO t(x, y) VALUES (x'00ff', 'blob')");
    auto rows = db.query("SELECT x, y, x AS alias FROM t ORDER BY id");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["x"], Value(2.75));
    EXPECT_EQ(rows[0].integer("x"), 2); // truncated toward zero
    EXPECT_TRUE(rows[0]["y"].isNull());
    EXPECT_EQ(rows[0].text("y"), "");
    EXPECT_FALSE(rows[0].optText("y"));
    EXPECT_EQ(rows[1].real("x"), 2.0);
    EXPECT_TRUE(rows[1].boolean("x")); // 2 is true
    EXPECT_EQ(rows[1].text("y"), "text");
    EXPECT_EQ(rows[1].integer("y"), 0);
    EXPECT_TRUE(rows[2]["x"].isNull()); // BLOB reads as null
    EXPECT_EQ(rows[1]["alias"], Value(2));
    EXPECT_TRUE(rows[1]["missing"].isNull());
    EXPECT_EQ(rows[1].integer("missing"), 0);
}

// Text is bound and read with its length: nothing after a NUL is lost on the way in or out.
TEST_F(SQLiteDBTest, TextKeepsEveryByteAfterANul) {
    const std::string text("Alpha\0Beta gamma", 16);
    db.run("INSERT INTO t(x, y) VALUES (?, ?)", {Value(text), Value("k")});
    auto row = db.one("SELECT x, length(CAST(x AS BLOB)) AS bytes FROM t WHERE y = 'k'");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->text("x"), text);
    EXPECT_EQ(row->integer("bytes"), 16);
    EXPECT_TRUE(db.one("SELECT 1 AS x FROM t WHERE x = ?", {Value(text)}));
}

TEST_F(SQLiteDBTest, LaterColumnOfTheSameNameWins) {
    auto row = db.one("SELECT 1 AS x, 2 AS x");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->integer("x"), 2);
    EXPECT_FALSE(db.one("SELECT * FROM t"));
}

TEST_F(SQLiteDBTest, ErrorsCarrySQLiteCodeAndMessage) {
    db.run("INSERT INTO t(y) VALUES ('same')");
    try {
        db.run("INSERT INTO t(y) VALUES ('same')");
        FAIL() << "expected a constraint error";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(e.code(), 19);
        EXPECT_EQ(std::string(e.what()), "SQLite error 19: " + e.message());
        EXPECT_NE(e.message().find("UNIQUE"), std::string::npos);
    }
    try {
        db.query("   ");
        FAIL() << "expected an error for no statement";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(e.code(), 0);
    }
    EXPECT_THROW(db.exec("NOT SQL"), SQLiteDB::DBError);
}

TEST_F(SQLiteDBTest, FailingTransactionLeavesNothingAndReportsTheBodysError) {
    struct BodyError : std::runtime_error {
        BodyError() : std::runtime_error("body failed") {}
    };
    EXPECT_THROW(db.transaction([&] {
        db.run("INSERT INTO t(y) VALUES ('one')");
        throw BodyError();
    }),
                 BodyError);
    EXPECT_TRUE(db.query("SELECT * FROM t").empty());
    // A body whose own statement ended the transaction: the rollback fails too, and the
    // body's error is still the one reported.
    try {
        db.transaction([&] {
            db.run("INSERT INTO t(y) VALUES ('two')");
            db.exec("ROLLBACK");
            db.run("INSERT INTO nowhere VALUES (1)");
        });
        FAIL();
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_NE(e.message().find("nowhere"), std::string::npos);
    }
    EXPECT_TRUE(db.query("SELECT * FROM t").empty());
    EXPECT_EQ(db.transaction([&] { return db.run("INSERT INTO t(y) VALUES ('three')"); }), 1);
}

TEST(SQLiteDBFileTest, OpeningCreatesOwnerOnlyFolderAndFileInWAL) {
    test::TempFolder tmp;
    std::string path = tmp.file("a/b/Memory.sqlite");
    {
        SQLiteDB db(path);
        EXPECT_EQ(db.one("PRAGMA journal_mode")->text("journal_mode"), "wal");
        EXPECT_EQ(db.one("PRAGMA foreign_keys")->integer("foreign_keys"), 1);
    }
    EXPECT_EQ(FileSystem::permissions(tmp.file("a/b")), 0700u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("a")), 0700u);
    EXPECT_EQ(FileSystem::permissions(path), 0600u);
    // Permissions are reset on every open.
    FileSystem::setPermissions(path, 0644);
    SQLiteDB again(path);
    EXPECT_EQ(FileSystem::permissions(path), 0600u);

    SQLiteDB memory(":memory:");
    EXPECT_EQ(memory.one("PRAGMA journal_mode")->text("journal_mode"), "memory");
    EXPECT_EQ(memory.path(), ":memory:");
}

TEST(SQLiteDBFileTest, OpeningAnUnusablePathFails) {
    test::TempFolder tmp;
    FileSystem::writeAtomically(tmp.file("file"), "x");
    EXPECT_THROW(SQLiteDB(tmp.file("file/Memory.sqlite")), Error);
}

} // namespace
} // namespace brell
