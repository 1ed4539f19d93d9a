// The brell application's screen commands, run as the application that hands window
// readings in and as a user who lists, searches and deletes them.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::string pricing = "The pricing tiers of the enterprise plan, billed yearly, with a discount for teams.";

class ScreenCommandsTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");

    test::ProcessResult brell(std::vector<std::string> args, std::string input = "") {
        return test::brell(std::move(args), {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}},
                           std::move(input));
    }

    // Hands in one reading and returns what brell printed.
    std::string record(const std::string& app, const std::string& title, const std::string& text,
                       std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"screen", "record", "--app-id", app, "--app-name", "App", "--title", title};
        args.insert(args.end(), more.begin(), more.end());
        auto r = brell(args, text);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return r.out;
    }

    Json json(std::vector<std::string> args) {
        args.push_back("--json");
        auto r = brell(args);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return Json::parse(r.out);
    }

    void switchOn() {
        ASSERT_EQ(brell({"memory", "on"}).exitStatus, 0);
        auto on = brell({"screen", "on"});
        ASSERT_EQ(on.exitStatus, 0) << on.err;
        EXPECT_EQ(on.out, "Screen memory is on.\n");
    }
};

TEST_F(ScreenCommandsTest, RecordingFollowsTheSwitches) {
    EXPECT_EQ(record("com.apple.Safari", "Pricing", pricing), "skipped\n"); // memory is off
    auto screenOnly = brell({"screen", "on"});
    EXPECT_EQ(screenOnly.exitStatus, 0);
    EXPECT_NE(screenOnly.out.find("brell memory on"), std::string::npos);
    EXPECT_EQ(record("com.apple.Safari", "Pricing", pricing), "skipped\n");

    switchOn();
    EXPECT_EQ(record("com.apple.Safari", "Pricing", pricing, {"--url", "https://example.com/pricing"}), "inserted 1\n");
    EXPECT_EQ(record("com.apple.Safari", "Pricing", "\n\n" + pricing + "\n"), "extended 1\n");
    EXPECT_EQ(record("com.apple.Safari", "Pricing", "Something else entirely: tides, moons and the sea."),
              "inserted 2\n");
    EXPECT_EQ(record("com.apple.Notes", "", "  too short to keep  "), "skipped\n");
    EXPECT_EQ(record("com.1password.1password", "Vault", pricing), "skipped\n");
    auto untitled = brell(
        {"screen", "record", "--app-id", "com.apple.Notes", "--app-name", "Notes", "--title", "", "--json"}, pricing);
    ASSERT_EQ(untitled.exitStatus, 0) << untitled.err;
    EXPECT_EQ(Json::parse(untitled.out), (Json{{"result", "inserted"}, {"id", 3}}));

    ASSERT_EQ(brell({"screen", "off"}).out, "Screen memory is off.\n");
    auto skipped = brell(
        {"screen", "record", "--app-id", "com.apple.Safari", "--app-name", "Safari", "--title", "Pricing", "--json"},
        pricing);
    EXPECT_EQ(Json::parse(skipped.out), (Json{{"result", "skipped"}, {"id", nullptr}}));

    Json all = json({"screen", "list"});
    ASSERT_EQ(all.size(), 3u);
    const Json& first = all[2];
    EXPECT_EQ(first["id"], 1);
    EXPECT_EQ(first["label"], "App \u2014 Pricing");
    EXPECT_EQ(first["url"], "https://example.com/pricing");
    EXPECT_EQ(first["text"], pricing);
    EXPECT_EQ(first["summary"], nullptr);
    EXPECT_EQ(all[0]["label"], "Notes"); // no title: the name alone
}

TEST_F(ScreenCommandsTest, ListSearchDeleteAndClear) {
    switchOn();
    record("com.apple.Safari", "Pricing", pricing);
    record("com.google.Chrome", "Inbox (2) - Gmail", "Lunch tomorrow? Let me know by noon, thanks a lot.");
    record("com.apple.mail", "Re: invoice", "Please send the signed invoice before Friday morning.");

    auto list = brell({"screen", "list"});
    ASSERT_EQ(list.exitStatus, 0) << list.err;
    EXPECT_EQ(list.out.rfind("#3  App \u2014 Re: invoice\n", 0), 0u) << list.out;
    EXPECT_NE(list.out.find("    " + pricing + "\n"), std::string::npos);

    Json messaging = json({"screen", "list", "--messaging"});
    ASSERT_EQ(messaging.size(), 2u);
    EXPECT_EQ(messaging[0]["id"], 3);
    EXPECT_EQ(messaging[1]["id"], 2);
    EXPECT_EQ(messaging[1]["messaging"], true);
    EXPECT_EQ(json({"screen", "list", "--limit", "1"}).size(), 1u);
    EXPECT_EQ(json({"screen", "list", "--since", "2999-01-01T00:00:00Z"}).size(), 0u);

    Json found = json({"screen", "search", "enterprise", "discount"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["id"], 1);
    EXPECT_EQ(brell({"screen", "search", "pricing\"", "OR", "NEAR("}).exitStatus, 0);
    EXPECT_EQ(brell({"screen", "search", "volcano"}).out, "No window in screen memory matches \u201cvolcano\u201d.\n");

    auto deleted = brell({"screen", "delete", "1"});
    EXPECT_EQ(deleted.out, "Deleted window 1 from screen memory.\n");
    EXPECT_EQ(json({"screen", "search", "enterprise"}).size(), 0u);
    auto again = brell({"screen", "delete", "1"});
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_EQ(again.err, "brell: screen memory holds no window 1; list them with: brell screen list\n");

    EXPECT_EQ(brell({"screen", "clear"}).out, "Screen memory is empty.\n");
    EXPECT_EQ(brell({"screen", "list"}).out, "Screen memory holds no windows.\n");
}

TEST_F(ScreenCommandsTest, ExcludedApps) {
    switchOn();
    Json shown = json({"screen", "exclude"});
    EXPECT_EQ(shown["always"].size(), 11u);
    EXPECT_EQ(shown["extra"], Json::array());

    auto set = brell({"screen", "exclude", "com.example.vault", "com.apple.Passwords", "com.example.diary"});
    ASSERT_EQ(set.exitStatus, 0) << set.err;
    EXPECT_EQ(set.out, "Never kept, besides the 11 built-in exclusions:\n  com.example.diary\n  com.example.vault\n");
    EXPECT_EQ(record("com.example.vault", "Secrets", pricing), "skipped\n");
    EXPECT_EQ(record("com.apple.Safari", "Pricing", pricing), "inserted 1\n");

    // A new list replaces the old one.
    EXPECT_EQ(json({"screen", "exclude", "com.example.diary"})["extra"], Json::array({"com.example.diary"}));
    EXPECT_EQ(record("com.example.vault", "Secrets", pricing), "inserted 2\n");
    EXPECT_EQ(json({"screen", "exclude", "--clear"})["extra"], Json::array());
    EXPECT_EQ(record("com.example.diary", "Today", pricing), "inserted 3\n");
}

TEST_F(ScreenCommandsTest, GroupsMadeByTheSummariser) {
    switchOn();
    record("com.apple.Safari", "Pricing", pricing);
    record("com.apple.Safari", "Beans", "Single origin beans from Ethiopia, light roast, whole.");
    record("com.apple.Notes", "Trip", "Train times to Lyon and the hotel near the station.");
    EXPECT_EQ(brell({"screen", "groups"}).out, "No topic groups yet.\n");
    {
        MemoryStore store(db);
        store.setScreenSummary(1, "Enterprise pricing.", std::string("Work"));
        store.setScreenGroup(2, std::string("Coffee"));
        store.setScreenGroup(3, std::string("Work"));
    }
    Json groups = json({"screen", "groups"});
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]["name"], "Work");
    EXPECT_EQ(groups[0]["count"], 2);
    EXPECT_EQ(groups[1]["name"], "Coffee");
    Json listed = json({"screen", "list", "--limit", "3"});
    EXPECT_EQ(listed[2]["summary"], "Enterprise pricing.");
    EXPECT_EQ(listed[2]["group"], "Work");
}

TEST_F(ScreenCommandsTest, UsageAndErrors) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {"screen without a verb", {"screen"}, 2},
        {"record without an app", {"screen", "record", "--app-name", "A", "--title", "T"}, 2},
        {"record without a title", {"screen", "record", "--app-id", "a", "--app-name", "A"}, 2},
        {"list with no limit", {"screen", "list", "--limit", "0"}, 2},
        {"list since a malformed date", {"screen", "list", "--since", "last tuesday"}, 1},
        {"search without words", {"screen", "search"}, 2},
        {"search with only common words", {"screen", "search", "the", "how"}, 1},
        {"delete a word", {"screen", "delete", "first"}, 2},
        {"delete an unknown window", {"screen", "delete", "99"}, 1},
        {"exclude and clear at once", {"screen", "exclude", "a.b", "--clear"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, c.exit) << r.err;
        EXPECT_EQ(r.out, "");
        if (c.exit == 1) {
            EXPECT_EQ(r.err.rfind("brell: ", 0), 0u);
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1); // one line
        }
    }
}

} // namespace
} // namespace brell
