// What brell prints of remembered text: never a control character or escape sequence
// that would drive the terminal, and never a --json answer that fails on bytes that are
// not UTF-8. The memory is written directly, as another program or an old version
// might have left it.
#include <gtest/gtest.h>

#include <chrono>

#include "BrellMemory/db/MemoryStore.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* clearScreen = "\x1b[2J";
constexpr const char* setTitle = "\x1b]0;owned\x07";     // OSC, ended by BEL
constexpr const char* setTitleST = "\x1b]2;owned\x1b\\"; // OSC, ended by ST
constexpr const char* c1Escape = "\xc2\x9b"
                                 "31m"; // CSI as one C1 character

// The first byte that would reach the terminal as a control: C0 except line feed and
// tab, DEL, or a C1 control; "" when there is none.
std::string firstControl(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
            return "byte " + std::to_string(c) + " at " + std::to_string(i);
        }
        if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            return "C1 control at " + std::to_string(i);
        }
    }
    return "";
}

class OutputSafetyTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");

    std::map<std::string, std::string> env(const std::string& database) const {
        return {{"BRELL_MEMORY_DB", database}, {"BRELL_BOARD", tmp.file("board.json")}, {"HOME", tmp.path()}};
    }

    test::ProcessResult brell(std::vector<std::string> args, const std::string& database = "") const {
        return test::brell(std::move(args), env(database.empty() ? db : database));
    }
};

TEST_F(OutputSafetyTest, SearchPrintsNoEscapeSequenceFromATitleOrCue) {
    {
        // Dated now: brell's daily purge would remove rows dated 1970.
        MemoryStore store(db);
        std::string title = std::string("Tides ") + clearScreen + setTitle + " talk" + c1Escape;
        std::string text = std::string("the tides ") + setTitleST + "turn " + clearScreen + "twice a day\x07";
        store.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                     "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', ?, "
                     "'https://www.youtube.com', strftime('%s','now'), strftime('%s','now'))",
                     {Value(title)});
        store.db.run(
            "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, "
            "content_hash) VALUES (10, 1, 'transcript', ?, 't=0', 0, 9000, '[[0,0]]', strftime('%s','now'), 'a')",
            {Value(text)});
    }
    for (std::vector<std::string> args :
         {std::vector<std::string>{"search", "tides"}, std::vector<std::string>{"ask", "where do the tides turn"}}) {
        SCOPED_TRACE(args[0]);
        auto r = brell(args);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_NE(r.out.find("Tides"), std::string::npos) << r.out;
        EXPECT_EQ(firstControl(r.out), "") << r.out;
        EXPECT_EQ(firstControl(r.err), "") << r.err;
        EXPECT_EQ(r.out.find("owned"), std::string::npos) << "an OSC sequence's text was printed: " << r.out;
    }
}

TEST_F(OutputSafetyTest, JsonAnswersReplaceBytesThatAreNotUTF8) {
    // A memory in a folder whose name is not UTF-8.
    std::string oddFolder = tmp.file("caf\xe9");
    std::string oddDatabase = oddFolder + "/Memory.sqlite";
    auto status = brell({"memory", "status", "--json"}, oddDatabase);
    ASSERT_EQ(status.exitStatus, 0) << status.err;
    EXPECT_TRUE(Text::isValidUTF8(status.out));
    Json parsed = Json::parse(status.out);
    EXPECT_NE(parsed.dump().find("caf\uFFFD"), std::string::npos) << status.out;

    // A video watched earlier whose title and transcript hold stray bytes.
    ASSERT_EQ(brell({"memory", "on"}).exitStatus, 0);
    ASSERT_EQ(brell({"memory", "youtube", "on"}).exitStatus, 0);
    double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string watch = "https://www.youtube.com/watch?v=dQw4w9WgXcQ";
    {
        MemoryStore store(db);
        store.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                     "(1, 'youtube:dQw4w9WgXcQ', 'video', ?, ?, 'https://www.youtube.com', ?, ?)",
                     {Value(watch), Value("Tides \xff\xfe talk"), Value(now - 3600), Value(now - 3000)});
        store.db.run("INSERT INTO session(id, source_id, active_wall_ms, played_wall_ms, started_at, last_seen) "
                     "VALUES ('s1', 1, 60000, 60000, ?, ?)",
                     {Value(now - 3600), Value(now - 3000)});
        store.db.exec("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'range', 0, 12000)");
        store.db.run(
            "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, "
            "content_hash) VALUES (10, 1, 'transcript', ?, 't=0', 0, 9000, '[[0,0]]', strftime('%s','now'), 'a')",
            {Value("the Thames Barrier \xc3 closes twice")});
    }

    auto seen = brell({"seen", watch, "--since", ISODate::format(now), "--json"});
    ASSERT_EQ(seen.exitStatus, 0) << seen.err;
    EXPECT_TRUE(Text::isValidUTF8(seen.out));
    Json visit = Json::parse(seen.out);
    EXPECT_EQ(visit["known"], true) << seen.out;
    EXPECT_EQ(visit["title"], "Tides \uFFFD\uFFFD talk");

    auto moments = brell({"moments", "Thames Barrier", "--json"});
    ASSERT_EQ(moments.exitStatus, 0) << moments.err;
    EXPECT_TRUE(Text::isValidUTF8(moments.out));
    Json passages = Json::parse(moments.out);
    ASSERT_GE(passages.size(), 1u) << moments.out;
    EXPECT_NE(passages.dump().find("Barrier \uFFFD closes"), std::string::npos) << moments.out;
}

} // namespace
} // namespace brell
