// The brell application's memory and origin commands, run as a user would.
#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

class MemoryCommandsTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("fresh/Memory.sqlite");

    test::ProcessResult brell(std::vector<std::string> args) {
        return test::brell(std::move(args), {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}});
    }

    Json status() {
        auto r = brell({"memory", "status", "--json"});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return Json::parse(r.out);
    }
};

TEST_F(MemoryCommandsTest, SwitchingOnAFreshMemory) {
    auto on = brell({"memory", "on"});
    ASSERT_EQ(on.exitStatus, 0) << on.err;
    Json s = status();
    EXPECT_EQ(s["enabled"], true);
    EXPECT_EQ(s["epoch"], 2);
    EXPECT_EQ(s["status"], "Connection Lost");
    EXPECT_EQ(s["schemaVersion"], "6");
    EXPECT_EQ(s["sqliteVersion"], "3.53.2");
    EXPECT_EQ(s["fullTextSearch"], true);
    EXPECT_EQ(FileSystem::permissions(db), 0600u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("fresh")), 0700u);

    EXPECT_EQ(brell({"memory", "pause"}).exitStatus, 0);
    EXPECT_EQ(status()["status"], "Paused");
    EXPECT_EQ(brell({"memory", "resume"}).exitStatus, 0);
    EXPECT_EQ(brell({"memory", "youtube", "on"}).exitStatus, 0);
    s = status();
    EXPECT_EQ(s["youtube"], true);
    EXPECT_EQ(s["paused"], false);
    EXPECT_EQ(s["epoch"], 5);
    EXPECT_EQ(brell({"memory", "off"}).exitStatus, 0);
    EXPECT_EQ(status()["status"], "Off");
}

TEST_F(MemoryCommandsTest, Origins) {
    auto approve = brell({"origins", "approve", "https://News.Example.com/story?id=1", "--no-text"});
    ASSERT_EQ(approve.exitStatus, 0) << approve.err;
    EXPECT_EQ(approve.out, "Approved https://news.example.com (visits only).\n");
    auto list = brell({"origins", "list", "--json"});
    Json origins = Json::parse(list.out);
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0]["origin"], "https://news.example.com");
    EXPECT_EQ(origins[0]["indexText"], false);

    auto refused = brell({"origins", "approve", "http://example.com"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("https"), std::string::npos);

    EXPECT_EQ(brell({"origins", "revoke", "https://news.example.com", "--delete-data"}).exitStatus, 0);
    EXPECT_EQ(Json::parse(brell({"origins", "list", "--json"}).out).size(), 0u);
}

TEST_F(MemoryCommandsTest, UsageAndErrors) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {"no command", {}, 2},
        {"unknown command", {"fly"}, 2},
        {"memory without a verb", {"memory"}, 2},
        {"youtube with a bad word", {"memory", "youtube", "maybe"}, 2},
        {"approve without an address", {"origins", "approve"}, 2},
        {"pause while off", {"memory", "pause"}, 1},
        {"help", {"memory", "--help"}, 0},
        {"version", {"--version"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, c.exit) << r.err;
        if (c.exit == 1) {
            EXPECT_EQ(r.err.rfind("brell: ", 0), 0u);
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1); // one line
        }
    }
    FileSystem::writeAtomically(tmp.file("blocker"), "x");
    db = tmp.file("blocker/Memory.sqlite");
    auto r = brell({"memory", "status"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("BRELL_MEMORY_DB"), std::string::npos);
}

} // namespace
} // namespace brell
