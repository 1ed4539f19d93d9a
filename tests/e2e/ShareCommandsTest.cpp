// The brell application's share commands, run as a user would, on a fresh board folder.
#include <regex>

#include <gtest/gtest.h>

#include "BrellCore/connector/AccessLog.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

constexpr Date march1 = 1740819907.0; // 2025-03-01T09:05:07Z

class ShareCommandsTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string board = tmp.file("Support/BRELL/board.json");
    std::string settings = tmp.file("Support/BRELL/assistant-access.json");
    std::string log = tmp.file("Support/BRELL/assistant-access-log.jsonl");

    test::ProcessResult brell(std::vector<std::string> args, std::string zone = "UTC") {
        return test::brell(std::move(args), {{"BRELL_BOARD", board},
                                             {"HOME", tmp.path()},
                                             {"BRELL_MEMORY_DB", tmp.file("Memory.sqlite")},
                                             {"TZ", zone}});
    }

    std::string ok(std::vector<std::string> args, std::string zone = "UTC") {
        auto r = brell(std::move(args), std::move(zone));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    Json status() { return Json::parse(ok({"share", "status", "--json"})); }

    std::string settingsText() const { return FileSystem::read(settings).value_or("<absent>"); }
};

TEST_F(ShareCommandsTest, AFreshInstallationSharesNothingAndWritesNothing) {
    EXPECT_EQ(ok({"share", "status"}), "Let AI assistants read my BRELL: off\n"
                                       "Shared lanes: Links, Notes, Evidence\n"
                                       "Also share Memory: off\n"
                                       "Share visual sessions: off\n"
                                       "Share my brells and current tasks: on\n"
                                       "Share screen activity: off\n"
                                       "Assistants can read 0 of 0 cards on the board.\n"
                                       "Settings file: " +
                                           settings + " (not saved yet, so the defaults apply)\n");
    Json json = status();
    EXPECT_EQ(json["file"], settings);
    EXPECT_EQ(json["state"], "missing");
    EXPECT_EQ(json["settings"], Json::parse(R"({"enabled":false,"lanes":["links","notes","evidence"],
        "shareMemory":false,"shareVisuals":false,"shareBrells":true,"shareScreen":false})"));
    EXPECT_EQ(json["cards"], Json::parse(R"({"shared":0,"total":0})"));
    EXPECT_FALSE(FileSystem::exists(settings));
    EXPECT_FALSE(FileSystem::exists(tmp.file("Support")));
}

TEST_F(ShareCommandsTest, SwitchesAreSavedOwnerOnlyAndCountTheSharedCards) {
    ok({"board", "add-quote", "--text", "Evidence one", "--url", "https://example.org/1"});
    ok({"board", "add-quote", "--text", "A note", "--url", "https://example.org/2", "--lane", "notes"});
    ok({"board", "add-link", "https://example.org/3"});

    EXPECT_EQ(ok({"share", "on"}), "AI assistants can now read what you share from BRELL (lanes: Links, Notes, "
                                   "Evidence). Assistants can read 3 of 3 cards on the board.\n");
    EXPECT_EQ(FileSystem::permissions(settings), 0600u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("Support/BRELL")), 0700u);
    EXPECT_EQ(settingsText(), R"({"enabled":true,"lanes":["links","notes","evidence"],"shareMemory":false,)"
                              R"("shareVisuals":false,"shareBrells":true,"shareScreen":false})");

    EXPECT_EQ(ok({"share", "lane", "links", "off"}), "The Links lane is no longer shared with AI assistants.\n");
    EXPECT_EQ(ok({"share", "lane", "notes", "off"}), "The Notes lane is no longer shared with AI assistants.\n");
    EXPECT_EQ(ok({"share", "lane", "notes", "on"}), "The Notes lane is now shared with AI assistants.\n");
    EXPECT_EQ(ok({"share", "memory", "on"}), "\u201CAlso share Memory\u201D is now on.\n");
    EXPECT_EQ(ok({"share", "visuals", "on"}), "\u201CShare visual sessions\u201D is now on.\n");
    EXPECT_EQ(ok({"share", "brells", "off"}), "\u201CShare my brells and current tasks\u201D is now off.\n");
    EXPECT_EQ(ok({"share", "screen", "on"}), "\u201CShare screen activity\u201D is now on.\n");

    Json json = status();
    EXPECT_EQ(json["state"], "saved");
    EXPECT_EQ(json["settings"], Json::parse(R"({"enabled":true,"lanes":["notes","evidence"],"shareMemory":true,
        "shareVisuals":true,"shareBrells":false,"shareScreen":true})"));
    EXPECT_EQ(json["cards"], Json::parse(R"({"shared":2,"total":3})"));
    // What the command wrote is what the connector's reader sees.
    EXPECT_EQ(AssistantAccess::load(settings),
              AssistantAccess(true, {Lane::notes, Lane::evidence}, true, true, false, true));

    EXPECT_EQ(ok({"share", "off"}), "AI assistants can no longer read anything from BRELL.\n");
    EXPECT_EQ(status()["cards"]["shared"], 0);
    // Turning sharing off keeps the other choices for when it comes back on.
    EXPECT_EQ(status()["settings"]["lanes"], Json::parse(R"(["notes","evidence"])"));
    EXPECT_EQ(ok({"share", "lane", "links", "on"}),
              "The Links lane is now shared with AI assistants. Sharing itself is off; turn it on with brell share "
              "on.\n");
}

TEST_F(ShareCommandsTest, AnUnreadableSettingsFileIsReportedAndReplacedOnTheNextChange) {
    FileSystem::writeAtomically(settings, R"({"enabled":true,"lanes":["everything"]})");
    std::string out = ok({"share", "status"});
    EXPECT_NE(out.find("Let AI assistants read my BRELL: off\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Settings file: " + settings +
                       " (can't be read, so the defaults apply and nothing is "
                       "shared)\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(status()["state"], "unreadable");

    auto r = brell({"share", "memory", "on"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "brell: the sharing settings at " + settings +
                         " couldn't be read, so the change starts from the defaults (nothing shared).\n");
    EXPECT_EQ(AssistantAccess::tryLoad(settings),
              AssistantAccess(false, {Lane::links, Lane::notes, Lane::evidence}, true, false, true, false));
}

TEST_F(ShareCommandsTest, UsageMistakesExitWithStatusTwoAndChangeNothing) {
    const std::vector<std::vector<std::string>> mistakes{
        {"share"},
        {"share", "lane", "sideways", "on"},
        {"share", "lane", "notes"},
        {"share", "memory", "maybe"},
        {"share", "log", "--limit", "-1"},
        {"share", "log", "--limit", "many"},
    };
    for (const auto& args : mistakes) {
        SCOPED_TRACE(args.back());
        EXPECT_EQ(brell(args).exitStatus, 2);
    }
    EXPECT_FALSE(FileSystem::exists(settings));
}

TEST_F(ShareCommandsTest, TheLogShowsWhatAssistantsReadNewestFirst) {
    EXPECT_EQ(ok({"share", "log"}), "No assistant has read anything from BRELL yet.\n");
    EXPECT_EQ(ok({"share", "log", "--json"}), "[]\n");

    std::string text;
    const char* tools[] = {"search_brell", "get_brell_context", "get_brell_item"};
    const char* details[] = {"(newest)", "pricing tiers (+memory)", "A0000000"};
    for (int i = 0; i < 3; ++i) {
        AccessLogEntry entry(march1 + i * 3600, tools[i], details[i], i == 2 ? 1 : 4);
        text += *AccessLog::line(entry);
    }
    // A line cut short at the end, as a crash would leave it, and a detail holding a
    // terminal escape sequence.
    text += R"({"id":"C0000000-0000-0000-0000-000000000009","at":"2025-03-01T12:05:07Z","tool":"x",)"
            R"("detail":"e\u001b[31mvil","itemCount":0})"
            "\n";
    text += R"({"id":"C0000000-0000-0000-0000-00000000000A","at":"2025-03-01T13:)";
    FileSystem::writeAtomically(log, text);

    EXPECT_EQ(ok({"share", "log"}), "1 Mar 2025 12:05  x  evil  (0 items)\n"
                                    "1 Mar 2025 11:05  get_brell_item  A0000000  (1 item)\n"
                                    "1 Mar 2025 10:05  get_brell_context  pricing tiers (+memory)  (4 items)\n"
                                    "1 Mar 2025 09:05  search_brell  (newest)  (4 items)\n");
    EXPECT_EQ(ok({"share", "log", "--limit", "2"}, "Asia/Tokyo"),
              "1 Mar 2025 21:05  x  evil  (0 items)\n"
              "1 Mar 2025 20:05  get_brell_item  A0000000  (1 item)\n");
    EXPECT_EQ(ok({"share", "log", "--limit", "0"}), "");

    Json json = Json::parse(ok({"share", "log", "--json", "--limit", "3"}));
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["tool"], "x");
    EXPECT_EQ(json[2]["tool"], "get_brell_context");
    EXPECT_EQ(json[2]["at"], "2025-03-01T10:05:07Z");
    EXPECT_EQ(json[2]["detail"], "pricing tiers (+memory)");
    EXPECT_EQ(json[2]["itemCount"], 4);
    EXPECT_TRUE(std::regex_match(json[2]["id"].get<std::string>(), std::regex("[0-9A-F-]{36}")));

    EXPECT_EQ(ok({"share", "clear-log"}), "The record of what AI assistants read was cleared.\n");
    EXPECT_FALSE(FileSystem::exists(log));
    EXPECT_EQ(ok({"share", "log"}), "No assistant has read anything from BRELL yet.\n");
    EXPECT_EQ(ok({"share", "clear-log"}), "The record of what AI assistants read was cleared.\n");
}

TEST_F(ShareCommandsTest, AFailedSaveIsReportedAndLeavesNoFile) {
    // The board's folder is a plain file, so no settings can be saved beside it.
    FileSystem::writeAtomically(tmp.file("Support"), "not a folder");
    auto r = brell({"share", "on"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("brell: The sharing settings could not be saved: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

} // namespace
} // namespace brell
