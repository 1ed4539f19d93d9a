#include "BrellMemory/db/SQLiteDB.h"

#include <atomic>
#include <thread>
#include <vector>

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

// Statements are kept prepared between calls; a kept statement must behave exactly as
// a fresh one: no value of an earlier call, a failure leaves it usable, a schema change
// is seen.
TEST_F(SQLiteDBTest, AReusedStatementBehavesLikeAFreshOne) {
    const std::string insert = "INSERT INTO t(x, y) VALUES (?, ?)";
    db.run(insert, {Value(1), Value("a")});
    // Fewer parameters than places: the missing one is null, not the last call's value.
    db.run(insert, {Value(2)});
    EXPECT_TRUE(db.one("SELECT y FROM t WHERE x = 2")->optText("y") == std::nullopt);
    // A failing step (the unique y) is reported, and the same statement runs again.
    try {
        db.run(insert, {Value(3), Value("a")});
        ADD_FAILURE() << "the duplicate was stored";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(e.code(), 19);
        EXPECT_EQ(e.message(), "UNIQUE constraint failed: t.y");
    }
    EXPECT_EQ(db.run(insert, {Value(4), Value("d")}), 1);
    // The table changes shape: the same text now reads the new columns.
    const std::string all = "SELECT * FROM t ORDER BY id";
    EXPECT_EQ(db.query(all).size(), 3u);
    db.exec("DROP TABLE t; CREATE TABLE t(id INTEGER PRIMARY KEY, z)");
    db.run("INSERT INTO t(z) VALUES ('new')");
    auto rows = db.query(all);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text("z"), "new");
    EXPECT_TRUE(rows[0]["x"].isNull());
    // More distinct statements than are kept: every one still answers.
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(db.one("SELECT " + std::to_string(i) + " AS n")->integer("n"), i);
        EXPECT_EQ(db.one(all)->text("z"), "new");
    }
}

// Threads sharing one connection never share a statement: each call gets its own rows.
TEST_F(SQLiteDBTest, ThreadsRunningTheSameStatementGetTheirOwnRows) {
    db.transaction([&] {
        for (int i = 0; i < 200; ++i) {
            db.run("INSERT INTO t(x, y) VALUES (?, ?)", {Value(i), Value("y" + std::to_string(i))});
        }
    });
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int k = 0; k < 4; ++k) {
        threads.emplace_back([&, k] {
            for (int i = 0; i < 300; ++i) {
                int x = (i * 7 + k) % 200;
                auto rows = db.query("SELECT y FROM t WHERE x >= ? AND x < ? ORDER BY x", {Value(x), Value(x + 2)});
                if (rows.empty() || rows[0].text("y") != "y" + std::to_string(x)) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
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

TEST(SQLiteDBFileTest, AReadOnlyConnectionReadsButNeitherWritesNorCreates) {
    test::TempFolder tmp;
    std::string path = tmp.file("Memory.sqlite");
    EXPECT_THROW(SQLiteDB(path, SQLiteDB::Access::readOnly), SQLiteDB::DBError);
    EXPECT_FALSE(FileSystem::exists(path));
    {
        SQLiteDB writer(path);
        writer.exec("CREATE TABLE t(x)");
        writer.run("INSERT INTO t(x) VALUES (?)", {Value("kept")});
    }
    SQLiteDB reader(path, SQLiteDB::Access::readOnly);
    // The same statement twice: the second comes from the statement cache.
    for (int i = 0; i < 2; ++i) {
        auto rows = reader.query("SELECT x FROM t");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].text("x"), "kept");
    }
    EXPECT_THROW(reader.run("INSERT INTO t(x) VALUES ('no')"), SQLiteDB::DBError);
    EXPECT_EQ(reader.query("SELECT x FROM t").size(), 1u);
}

TEST(SQLiteDBFileTest, OpeningAnUnusablePathFails) {
    test::TempFolder tmp;
    FileSystem::writeAtomically(tmp.file("file"), "x");
    EXPECT_THROW(SQLiteDB(tmp.file("file/Memory.sqlite")), Error);
}

} // namespace
} // namespace brell
