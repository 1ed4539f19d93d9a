// The companion host as the browser runs it: a real process, frames on its standard
// streams, a real database file.
#include <cstdint>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::string companion = "chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/";
const std::string hello = R"({"version":1,"type":"hello","requestId":"r1"})";

class HostProcessTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("memory/Memory.sqlite");

    test::ProcessResult host(const std::string& input, std::vector<std::string> args = {companion},
                             std::map<std::string, std::string> env = {}) {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.input = input;
        options.setEnv = {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}};
        for (auto& [k, v] : env) {
            options.setEnv[k] = v;
        }
        return test::run(test::binary("brell-memory-host"), options);
    }

    static std::string header(uint32_t length) { return std::string(reinterpret_cast<const char*>(&length), 4); }
};

TEST_F(HostProcessTest, CallerCheck) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool testMode;
        std::string err;
        int exit;
    } cases[] = {
        {"companion", {companion}, true, "", 0},
        {"companion then a browser argument", {companion, "--parent-window=0"}, true, "", 0},
        {"browser argument first", {"--parent-window=0", companion}, true, "", 0},
        {"the companion built from this repository",
         {"chrome-extension://hfibbkondadfpfgdamicagljdjbcollk/"},
         false,
         "",
         0},
        {"without trailing slash",
         {companion.substr(0, companion.size() - 1)},
         true,
         "brell-memory-host: refusing caller " + companion.substr(0, companion.size() - 1) + "\n",
         1},
        {"another extension",
         {"chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/"},
         true,
         "brell-memory-host: refusing caller chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/\n",
         1},
        {"no arguments in test mode", {}, true, "", 0},
        {"no arguments outside test mode", {}, false, "brell-memory-host: refusing caller (none)\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ProcessOptions options;
        options.args = c.args;
        options.input = test::frame(hello);
        options.setEnv = {{"HOME", tmp.path()}, {"XDG_DATA_HOME", tmp.file("data")}};
        if (c.testMode) {
            options.setEnv["BRELL_MEMORY_DB"] = db;
        } else {
            options.unsetEnv = {"BRELL_MEMORY_DB"};
        }
        auto r = test::run(test::binary("brell-memory-host"), options);
        EXPECT_EQ(r.exitStatus, c.exit);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(test::unframe(r.out).size(), c.exit == 0 ? 1u : 0u);
    }
}

TEST_F(HostProcessTest, EmptyTestModeVariableUsesTheDefaultPath) {
    test::ProcessOptions options;
    options.input = test::frame(hello);
    options.setEnv = {{"BRELL_MEMORY_DB", ""}, {"HOME", tmp.path()}, {"XDG_DATA_HOME", tmp.file("data")}};
    auto r = test::run(test::binary("brell-memory-host"), options);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(FileSystem::exists(tmp.file("data/BRELL/Memory.sqlite")));
    EXPECT_EQ(FileSystem::permissions(tmp.file("data/BRELL")), 0700u);
}

TEST_F(HostProcessTest, StoreUnavailable) {
    FileSystem::writeAtomically(tmp.file("blocker"), "not a folder");
    db = tmp.file("blocker/Memory.sqlite");
    auto r = host(test::frame(hello));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "brell-memory-host: store unavailable\n");
    auto replies = test::unframe(r.out);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(Json::parse(replies[0]), (Json{{"type", "error"}, {"status", "retry"}, {"reason", "store_unavailable"}}));
}

TEST_F(HostProcessTest, Framing) {
    const uint32_t cap = 1048576;
    const Json tooLarge = {{"type", "error"}, {"status", "invalid"}, {"reason", "message_too_large"}};
    // A body of exactly cap bytes: valid JSON padded with spaces.
    std::string atCap = hello;
    atCap.resize(cap, ' ');
    struct Case {
        const char* name;
        std::string input;
        int exit;
        std::vector<Json> replies;
    } cases[] = {
        {"empty input", "", 0, {}},
        {"two header bytes", header(10).substr(0, 2), 0, {}},
        {"body cut short", header(10) + "{\"ve", 0, {}},
        {"zero length", header(0) + hello, 1, {tooLarge}},
        {"one above cap", header(cap + 1), 1, {tooLarge}},
        {"exactly cap", test::frame(atCap), 0, {Json::object()}},
        {"two messages in one write",
         test::frame(hello) + test::frame(R"({"version":1,"type":"nope"})"),
         0,
         {Json::object(), {{"type", "error"}, {"status", "invalid"}, {"reason", "unknown_type"}}}},
        {"answered, then a torn frame", test::frame(hello) + header(50) + "{", 0, {Json::object()}},
        {"answered, then refused", test::frame(hello) + header(0), 1, {Json::object(), tooLarge}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = host(c.input);
        EXPECT_EQ(r.exitStatus, c.exit);
        EXPECT_EQ(r.err, "");
        std::string rest;
        auto replies = test::unframe(r.out, &rest);
        EXPECT_EQ(rest, "");
        ASSERT_EQ(replies.size(), c.replies.size());
        for (std::size_t i = 0; i < replies.size(); ++i) {
            Json got = Json::parse(replies[i]);
            if (c.replies[i].empty()) {
                EXPECT_EQ(got["type"], "state"); // a state reply, its content checked elsewhere
                EXPECT_EQ(got["requestId"], "r1");
            } else {
                EXPECT_EQ(got, c.replies[i]);
            }
        }
    }
}

TEST_F(HostProcessTest, RepliesComeInOrderAndTheDatabaseIsOwnerOnlyWAL) {
    std::string input;
    for (int i = 0; i < 50; ++i) {
        input += test::frame(R"({"version":1,"type":"get_state","requestId":"n)" + std::to_string(i) + "\"}");
    }
    auto r = host(input);
    ASSERT_EQ(r.exitStatus, 0);
    auto replies = test::unframe(r.out);
    ASSERT_EQ(replies.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(Json::parse(replies[static_cast<std::size_t>(i)])["requestId"], "n" + std::to_string(i));
    }
    EXPECT_EQ(FileSystem::permissions(db), 0600u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("memory")), 0700u);
    // The file header's read and write versions are 2 in WAL mode.
    auto bytes = FileSystem::read(db);
    ASSERT_TRUE(bytes && bytes->size() > 20);
    EXPECT_EQ((*bytes)[18], 2);
    EXPECT_EQ((*bytes)[19], 2);
}

} // namespace
} // namespace brell
