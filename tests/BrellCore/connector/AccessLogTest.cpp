#include "BrellCore/connector/AccessLog.h"

#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr Date march1 = 1740819907.0; // 2025-03-01T09:05:07Z

UUID fixedID(int n) {
    std::array<uint8_t, 16> bytes{};
    bytes[0] = 0xC0;
    bytes[15] = static_cast<uint8_t>(n);
    return UUID(bytes);
}

AccessLogEntry entry(int n) {
    return AccessLogEntry(fixedID(n), march1 + n * 60, "search_brell", "query " + std::to_string(n), n);
}

class AccessLogTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string log = tmp.file("BRELL/assistant-access-log.jsonl");

    std::vector<std::string> details(const std::vector<AccessLogEntry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries) {
            out.push_back(e.detail);
        }
        return out;
    }
};

TEST_F(AccessLogTest, TheLogSitsBesideTheBoard) {
    EXPECT_EQ(AccessLog::fileURL("/Users/me/BRELL/board.json"), "/Users/me/BRELL/assistant-access-log.jsonl");
}

TEST_F(AccessLogTest, AnEntryIsOneCompactLineWithEscapedSlashesAndWholeSeconds) {
    AccessLogEntry e(fixedID(1), march1 + 0.75, "get_brell_item", "pricing/tiers \"A\"\nB", 3);
    EXPECT_EQ(AccessLog::line(e),
              "{\"id\":\"C0000000-0000-0000-0000-000000000001\",\"at\":\"2025-03-01T09:05:07Z\","
              "\"tool\":\"get_brell_item\",\"detail\":\"pricing\\/tiers \\\"A\\\"\\nB\",\"itemCount\":3}\n");

    // Text that can't be encoded makes no line at all.
    AccessLogEntry broken(fixedID(2), march1, "search_brell", "bad \xC3", 0);
    EXPECT_EQ(AccessLog::line(broken), std::nullopt);
    AccessLog::append(broken, log);
    EXPECT_FALSE(FileSystem::exists(log));
}

TEST_F(AccessLogTest, NewEntriesGetFreshIds) {
    AccessLogEntry a(march1, "list_brells", "brells and current tasks", 2);
    AccessLogEntry b(march1, "list_brells", "brells and current tasks", 2);
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);
}

TEST_F(AccessLogTest, AppendingCreatesTheFolderAndAnOwnerOnlyFile) {
    AccessLog::append(entry(1), log);
    EXPECT_EQ(FileSystem::read(log), AccessLog::line(entry(1)));
    EXPECT_EQ(FileSystem::permissions(log), 0600u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("BRELL")), 0700u);

    AccessLog::append(entry(2), log);
    EXPECT_EQ(FileSystem::read(log), *AccessLog::line(entry(1)) + *AccessLog::line(entry(2)));
    EXPECT_EQ(AccessLog::recent(log, 10), (std::vector<AccessLogEntry>{entry(1), entry(2)}));
}

TEST_F(AccessLogTest, RecentGivesTheLastEntriesOldestFirst) {
    for (int n = 1; n <= 5; ++n) {
        AccessLog::append(entry(n), log);
    }
    struct Case {
        std::size_t limit;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {}},
        {1, {"query 5"}},
        {2, {"query 4", "query 5"}},
        {5, {"query 1", "query 2", "query 3", "query 4", "query 5"}},
        {50, {"query 1", "query 2", "query 3", "query 4", "query 5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        EXPECT_EQ(details(AccessLog::recent(log, c.limit)), c.expected);
    }
}

TEST_F(AccessLogTest, LinesThatDoNotDecodeAreSkippedOneByOne) {
    std::string good1 = *AccessLog::line(entry(1));
    std::string good2 = *AccessLog::line(entry(2));
    std::string good3 = *AccessLog::line(entry(3));
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"a last line cut short", good1 + good2 + good3.substr(0, 40), {"query 1", "query 2"}},
        {"cut inside a UTF-8 sequence",
         good1 + good2 + "{\"id\":\"C0000000-0000-0000-0000-000000000009\",\"detail\":\"caf\xC3",
         {"query 1", "query 2"}},
        {"garbage between entries", good1 + "not json\n" + good2, {"query 1", "query 2"}},
        {"empty lines and CR LF",
         "\n\n" + good1.substr(0, good1.size() - 1) + "\r\n\n" + good2,
         {"query 1", "query 2"}},
        {"a missing key",
         good1 +
             R"({"id":"C0000000-0000-0000-0000-000000000004","at":"2025-03-01T09:05:07Z",)"
             R"("tool":"x","itemCount":1})"
             "\n" +
             good2,
         {"query 1", "query 2"}},
        {"a wrong type",
         good1 + R"({"id":"C0000000-0000-0000-0000-000000000004","at":"2025-03-01T09:05:07Z",)"
                 R"("tool":"x","detail":"d","itemCount":"1"})"
                 "\n",
         {"query 1"}},
        {"a bad id and a bad date",
         R"({"id":"not-a-uuid","at":"2025-03-01T09:05:07Z","tool":"x","detail":"d","itemCount":1})"
         "\n" +
             std::string(R"({"id":"C0000000-0000-0000-0000-000000000004","at":"yesterday","tool":"x",)"
                         R"("detail":"d","itemCount":1})") +
             "\n" + good3,
         {"query 3"}},
        {"slashes written plainly",
         R"({"id":"c0000000-0000-0000-0000-000000000007","at":"2025-03-01T09:05:07Z",)"
         R"("tool":"get_brell_brief","detail":"a/b","itemCount":0})",
         {"a/b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileSystem::writeAtomically(log, c.text);
        EXPECT_EQ(details(AccessLog::recent(log, 10)), c.expected);
    }
    // The limit counts entries that decode, not lines.
    FileSystem::writeAtomically(log, good1 + good2 + "junk\n" + good3 + "junk");
    EXPECT_EQ(details(AccessLog::recent(log, 2)), (std::vector<std::string>{"query 2", "query 3"}));
}

TEST_F(AccessLogTest, AnEntryAfterALineCutShortStaysReadable) {
    std::string good1 = *AccessLog::line(entry(1));
    FileSystem::writeAtomically(log, good1 + good1.substr(0, 30));
    AccessLog::append(entry(2), log);
    EXPECT_EQ(details(AccessLog::recent(log, 10)), (std::vector<std::string>{"query 1", "query 2"}));
    EXPECT_EQ(FileSystem::read(log), good1 + good1.substr(0, 30) + "\n" + *AccessLog::line(entry(2)));
}

TEST_F(AccessLogTest, MissingOrUnreadableLogsAreEmptyAndNothingThrows) {
    EXPECT_TRUE(AccessLog::recent(log, 10).empty());
    FileSystem::makeFolders(log); // a folder where the file should be
    EXPECT_NO_THROW(AccessLog::append(entry(1), log));
    EXPECT_TRUE(AccessLog::recent(log, 10).empty());
    EXPECT_NO_THROW(AccessLog::clear(log));

    // No folder can be made under a plain file.
    FileSystem::writeAtomically(tmp.file("plain"), "x");
    EXPECT_NO_THROW(AccessLog::append(entry(1), tmp.file("plain/assistant-access-log.jsonl")));
    EXPECT_EQ(FileSystem::read(tmp.file("plain")), "x");
}

TEST_F(AccessLogTest, ClearingDeletesTheFileAndTheNextAppendStartsAnew) {
    AccessLog::append(entry(1), log);
    AccessLog::append(entry(2), log);
    AccessLog::clear(log);
    EXPECT_FALSE(FileSystem::exists(log));
    EXPECT_NO_THROW(AccessLog::clear(log));
    AccessLog::append(entry(3), log);
    EXPECT_EQ(FileSystem::read(log), AccessLog::line(entry(3)));
}

// Real processes appending at the same moment: every line arrives whole, none is lost,
// and each writer's lines keep their order. The details are long so that a line spans
// many buffers' worth of bytes.
TEST_F(AccessLogTest, ConcurrentProcessesLoseNoLineAndTearNone) {
    constexpr int writers = 4;
    constexpr int perWriter = 250;
    const std::string padding(3000, 'x');
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < perWriter; ++i) {
                // Ids made here: a forked child would repeat its parent's random ones.
                std::array<uint8_t, 16> id{};
                id[0] = static_cast<uint8_t>(w);
                id[1] = static_cast<uint8_t>(i >> 8);
                id[2] = static_cast<uint8_t>(i);
                AccessLog::append(AccessLogEntry(UUID(id), march1, "writer " + std::to_string(w),
                                                 std::to_string(i) + " \u00E9/" + padding, i),
                                  log);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::string text = FileSystem::read(log).value_or("");
    auto lines = Text::split(text, '\n');
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), ""); // the file ends with a line feed
    lines.pop_back();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(writers * perWriter));

    auto entries = AccessLog::recent(log, 1'000'000);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(writers * perWriter));
    std::map<std::string, int64_t> next;
    std::set<UUID> ids;
    for (const auto& e : entries) {
        EXPECT_EQ(e.itemCount, next[e.tool]++) << e.tool;
        EXPECT_EQ(e.detail, std::to_string(e.itemCount) + " \u00E9/" + padding);
        ids.insert(e.id);
    }
    EXPECT_EQ(ids.size(), entries.size());
    for (int w = 0; w < writers; ++w) {
        EXPECT_EQ(next["writer " + std::to_string(w)], perWriter);
    }
}

} // namespace
} // namespace brell
