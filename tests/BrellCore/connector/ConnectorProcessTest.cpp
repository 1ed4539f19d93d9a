#include "BrellCore/connector/ConnectorProcess.h"

#include <sstream>

#include <gtest/gtest.h>

#include "BrellCore/connector/ConnectorSamples.h"
#include "BrellMemory/db/Schema.h"
#include "platform/FileSystem.h"
#include "util/Text.h"

namespace brell {
namespace {

class ConnectorMemoryTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string path = folder.file("BRELL/Memory.sqlite");
};

TEST_F(ConnectorMemoryTest, AMissingMemoryIsNeitherCreatedNorFound) {
    ConnectorMemory memory(path);
    EXPECT_EQ(memory.store(), nullptr);
    EXPECT_FALSE(FileSystem::exists(path));
    EXPECT_FALSE(FileSystem::exists(FileSystem::parentFolder(path)));

    // Created later by the application, it is found on the next use.
    { MemoryStore created(path); }
    EXPECT_NE(memory.store(), nullptr);
}

TEST_F(ConnectorMemoryTest, AnOldMemoryIsLeftForTheApplicationToUpgrade) {
    {
        FileSystem::makeFolders(FileSystem::parentFolder(path));
        SQLiteDB db(path);
        Schema::buildVersion(db, 5);
    }
    auto before = FileSystem::read(path);
    ConnectorMemory memory(path);
    EXPECT_EQ(memory.store(), nullptr);
    EXPECT_EQ(FileSystem::read(path), before);
    EXPECT_FALSE(FileSystem::exists(Schema::backupPath(path, 5)));
}

TEST_F(ConnectorMemoryTest, TheConnectionCannotWrite) {
    { MemoryStore created(path); }
    ConnectorMemory memory(path);
    MemoryStore* store = memory.store();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->sourceCount(), 0);
    EXPECT_TRUE(store->momentPassages("tides", 3).empty());
    EXPECT_TRUE(store->screenGlimpses("", 5).empty());
    try {
        store->db.run("INSERT INTO meta(key, value) VALUES('x', 'y')");
        ADD_FAILURE() << "a read-only connection wrote";
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(e.code(), 8); // SQLITE_READONLY
    }
}

TEST(ConnectorProcessTest, ServeAnswersLineByLineAndSkipsNotifications) {
    test::ConnectorHome home;
    MCPServer server = home.server();
    std::string big(1 << 20, 'x');
    std::istringstream in(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})"
                          "\n"
                          R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                          "\n\n   \r\n"
                          R"({"jsonrpc":"2.0","id":"b","method":"ping"})"
                          "\r\n"
                          R"({"jsonrpc":"2.0","id":3,"method":"ping","params":{"pad":")" +
                          big + "\"}}\n" + R"({"jsonrpc":"2.0","id":4,"method":"ping"})");
    std::ostringstream out;
    EXPECT_EQ(ConnectorProcess::serve(in, out, server), 0);
    auto lines = Text::split(out.str(), '\n');
    ASSERT_EQ(lines.size(), 5u); // four replies and the empty piece after the last line feed
    EXPECT_TRUE(lines[0].starts_with(R"({"jsonrpc":"2.0","id":1,"result":{"protocolVersion":"2025-06-18",)"));
    EXPECT_EQ(lines[1], R"({"jsonrpc":"2.0","id":"b","result":{}})");
    EXPECT_EQ(lines[2], R"({"jsonrpc":"2.0","id":3,"result":{}})");
    EXPECT_EQ(lines[3], R"({"jsonrpc":"2.0","id":4,"result":{}})");
    EXPECT_EQ(lines[4], "");
}

TEST(ConnectorProcessTest, TheServerReadsMomentsAndScreenFromTheMemory) {
    test::ConnectorHome home;
    std::string path = home.boardURL() + ".memory.sqlite";
    {
        MemoryStore store(path);
        store.setEnabled(true);
        store.setScreen(true);
        store.recordScreen("org.example.reader", "Reader", "Tide tables", std::string("https://tides.example/today"),
                           "High water at Greenwich is at 14:02 today, spring tide expected.");
    }
    MCPServer server = ConnectorProcess::makeServer(home.boardURL(), std::make_shared<ConnectorMemory>(path));
    server.timeZone = "UTC";
    auto text = server.handle(
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"get_brell_activity","arguments":{}}})");
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("[On screen · Reader · "), std::string::npos) << *text;
    EXPECT_NE(text->find("> High water at Greenwich is at 14:02 today, spring tide expected."), std::string::npos);
}

} // namespace
} // namespace brell
