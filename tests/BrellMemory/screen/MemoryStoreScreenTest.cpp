#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "BrellMemory/db/MemoryStore.h"
#include "util/Text.h"

namespace brell {

static void PrintTo(const MemoryStore::RecordResult& result, std::ostream* os) {
    *os << result.description();
}

namespace {

using Value = SQLiteDB::Value;
using Result = MemoryStore::RecordResult;

std::string repeated(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// `count` distinct words, numbered from `first`, each `prefix` + number.
std::string wordList(const std::string& prefix, int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        out += prefix + std::to_string(i) + " ";
    }
    return out;
}

// A memory in its own database with memory and screen memory on, a clock the test
// moves, and a few readers of the raw rows.
struct Memory {
    Date clock = 1'800'000'000.0;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};

    Memory() {
        store.setEnabled(true);
        store.setScreen(true);
    }

    Result record(const std::string& bundle, const std::string& title, const std::string& text,
                  std::optional<std::string> url = std::nullopt, const std::string& app = "App") {
        return store.recordScreen(bundle, app, title, url, text);
    }
    // Records and returns the new row's id, one second after the previous reading.
    int64_t add(const std::string& bundle, const std::string& title, const std::string& text,
                std::optional<std::string> url = std::nullopt) {
        clock += 1;
        Result r = record(bundle, title, text, std::move(url), "App " + bundle);
        EXPECT_EQ(r.kind, Result::Kind::inserted) << title;
        return r.id;
    }
    int64_t rows() { return store.db.one("SELECT COUNT(*) AS n FROM screen_capture")->integer("n"); }
    SQLiteDB::Row row(int64_t id) { return *store.db.one("SELECT * FROM screen_capture WHERE id = ?", {Value(id)}); }
    void dropFullText() {
        store.db.exec("DROP TRIGGER screen_ai; DROP TRIGGER screen_ad; DROP TRIGGER screen_au; DROP TABLE screen_fts;");
    }
};

std::vector<int64_t> ids(const std::vector<ScreenCapture>& captures) {
    std::vector<int64_t> out;
    for (const auto& c : captures) {
        out.push_back(c.id);
    }
    return out;
}

const std::string page = "The pricing tiers of the enterprise plan, billed yearly.";

TEST(ScreenRecordingTest, OneReadingIsStoredOrSkipped) {
    const std::string twenty = "abcdefghijklmnopqrst";
    const std::string long9000 = repeated("0123456789", 900);
    struct Case {
        const char* name;
        std::function<void(MemoryStore&)> setup;
        std::string bundle;
        std::string text;
        std::optional<std::string> stored; // nothing: skipped
    } cases[] = {
        {"memory off", [](MemoryStore& s) { s.setEnabled(false); }, "com.apple.Safari", page, {}},
        {"memory paused", [](MemoryStore& s) { s.setPaused(true); }, "com.apple.Safari", page, {}},
        {"screen memory off", [](MemoryStore& s) { s.setScreen(false); }, "com.apple.Safari", page, {}},
        {"password manager, no list of the user's", nullptr, "com.1password.1password", page, {}},
        {"BRELL itself", nullptr, "dev.brell.BRELL", page, {}},
        {"lock screen", nullptr, "com.apple.loginwindow", page, {}},
        {"always excluded despite a list of the user's",
         [](MemoryStore& s) { s.setExtraExcludedApps({"com.example.vault"}); },
         "com.bitwarden.desktop",
         page,
         {}},
        {"excluded by the user",
         [](MemoryStore& s) { s.setExtraExcludedApps({"com.example.vault"}); },
         "com.example.vault",
         page,
         {}},
        {"19 characters after trimming", nullptr, "com.apple.Safari", " \n\t" + twenty.substr(0, 19) + "\r\n ", {}},
        {"19 accented letters written decomposed", nullptr, "com.apple.Safari", repeated("e\u0301", 19), {}},
        {"only white space", nullptr, "com.apple.Safari", repeated(" \n", 40), {}},
        {"20 characters after trimming", nullptr, "com.apple.Safari", "\n  " + twenty + " \t", twenty},
        {"9,000 characters keep the first 8,000", nullptr, "com.apple.Safari", long9000, long9000.substr(0, 8000)},
        {"the cut counts emoji with modifiers as one", nullptr, "com.apple.Safari",
         repeated("\U0001F44D\U0001F3FD", 8001), repeated("\U0001F44D\U0001F3FD", 8000)},
        {"a list of the user's leaves other apps alone",
         [](MemoryStore& s) { s.setExtraExcludedApps({"com.example.vault"}); }, "com.apple.Safari", page, page},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Memory m;
        if (c.setup) {
            c.setup(m.store);
        }
        Result r = m.record(c.bundle, "Title", c.text);
        if (!c.stored) {
            EXPECT_EQ(r, Result::skipped());
            EXPECT_EQ(m.rows(), 0);
            continue;
        }
        ASSERT_EQ(r.kind, Result::Kind::inserted);
        auto row = m.row(r.id);
        EXPECT_EQ(row.text("text"), *c.stored);
        EXPECT_EQ(row.text("text_hash"), MemoryStore::sha(*c.stored));
        EXPECT_EQ(row.real("at"), m.clock);
        EXPECT_EQ(row.real("last_at"), m.clock);
    }
}

TEST(ScreenRecordingTest, SameTextRefreshesTheRecordAndKeepsWhatWasFirstStored) {
    Memory m;
    Result first = m.record("com.apple.Safari", "Pricing", page, "https://example.com/pricing", "Safari");
    ASSERT_EQ(first.kind, Result::Kind::inserted);
    Date firstAt = m.clock;
    m.clock += 30;
    Result again = m.record("com.apple.Safari", "Pricing", "\n" + page + "  ", "https://example.com/other",
                            "Safari Technology Preview");
    EXPECT_EQ(again, Result::extended(first.id));
    EXPECT_EQ(m.rows(), 1);
    auto row = m.row(first.id);
    EXPECT_EQ(row.real("at"), firstAt);
    EXPECT_EQ(row.real("last_at"), firstAt + 30);
    EXPECT_EQ(row.text("app_name"), "Safari");
    EXPECT_EQ(row.text("url"), "https://example.com/pricing");
    // Only the time moved: the index still finds the words once, and a summary written
    // for the text still describes it.
    m.store.setScreenSummary(first.id, "Enterprise pricing", std::nullopt);
    m.clock += 30;
    EXPECT_EQ(m.record("com.apple.Safari", "Pricing", page), Result::extended(first.id));
    EXPECT_EQ(ids(m.store.searchScreen("enterprise", 10)), std::vector<int64_t>{first.id});
    EXPECT_EQ(m.store.screenCapture(first.id)->summary, "Enterprise pricing");
    EXPECT_EQ(m.row(first.id).real("last_at"), firstAt + 60);
}

// A record whose digest names the reading's text but whose text is another (written by
// hand, or by an older program) takes the reading's text, and the index follows it.
TEST(ScreenRecordingTest, AnEqualDigestOverOtherTextStillReplacesTheText) {
    Memory m;
    const std::string other = "Minutes of the budget meeting, second quarter.";
    Result first = m.record("com.apple.Safari", "Pricing", other);
    m.store.db.run("UPDATE screen_capture SET text_hash = ? WHERE id = ?",
                   {Value(MemoryStore::sha(page)), Value(first.id)});
    m.clock += 5;
    EXPECT_EQ(m.record("com.apple.Safari", "Pricing", page), Result::extended(first.id));
    EXPECT_EQ(m.row(first.id).text("text"), page);
    EXPECT_EQ(ids(m.store.searchScreen("enterprise", 10)), std::vector<int64_t>{first.id});
    EXPECT_TRUE(m.store.searchScreen("budget", 10).empty());
}

TEST(ScreenRecordingTest, SimilarTextsShareOneRecordFromTheThresholdOn) {
    struct Case {
        const char* name;
        std::string first;
        std::string second;
        bool oneRecord;
    } cases[] = {
        {"85 % of the words shared", wordList("shared", 0, 85) + wordList("gone", 0, 15), wordList("shared", 0, 85),
         true},
        {"84 % of the words shared", wordList("shared", 0, 84) + wordList("gone", 0, 16), wordList("shared", 0, 84),
         false},
        {"no word of three characters on either side", "ab 12 cd ef gh ij kl mn op", "xy 34 uv wq rs tu zz yy", true},
        {"a small edit of a long page", page + " " + wordList("para", 0, 60), page + " " + wordList("para", 1, 60),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Memory m;
        Result first = m.record("com.apple.TextEdit", "Notes", c.first);
        m.clock += 5;
        Result second = m.record("com.apple.TextEdit", "Notes", c.second);
        if (c.oneRecord) {
            EXPECT_EQ(second, Result::extended(first.id));
            EXPECT_EQ(Text::trim(m.row(first.id).text("text")), Text::trim(c.second)); // the newer text is kept
            EXPECT_EQ(m.row(first.id).text("text_hash"), MemoryStore::sha(Text::trim(c.second)));
        } else {
            EXPECT_EQ(second.kind, Result::Kind::inserted);
            EXPECT_NE(second.id, first.id);
            EXPECT_EQ(Text::trim(m.row(first.id).text("text")), Text::trim(c.first)); // history stays
        }
    }
}

TEST(ScreenRecordingTest, AWindowIsItsAppAndItsTitle) {
    Memory m;
    const std::string other = "A completely different document about tides and moons.";
    Result draft = m.record("com.apple.TextEdit", "Draft", page);
    EXPECT_EQ(m.record("com.apple.TextEdit", "Draft (edited)", page).kind, Result::Kind::inserted);
    EXPECT_EQ(m.record("com.apple.Notes", "Draft", page).kind, Result::Kind::inserted);
    // Back to the first title: the same record again.
    EXPECT_EQ(m.record("com.apple.TextEdit", "Draft", page), Result::extended(draft.id));

    // Only the window's newest record is compared: after a change of text in the same
    // window, the old text starts a record of its own.
    m.clock += 1;
    Result changed = m.record("com.apple.TextEdit", "Draft", other);
    EXPECT_EQ(changed.kind, Result::Kind::inserted);
    m.clock += 1;
    Result back = m.record("com.apple.TextEdit", "Draft", page);
    EXPECT_EQ(back.kind, Result::Kind::inserted);
    EXPECT_EQ(m.rows(), 5);

    // Titles are cut to 300 characters before they are compared and stored.
    std::string longTitle = repeated("\u00e9", 300);
    Result titled = m.record("com.apple.Safari", longTitle + " one", page);
    EXPECT_EQ(m.record("com.apple.Safari", longTitle + " two", page), Result::extended(titled.id));
    EXPECT_EQ(m.row(titled.id).text("window_title"), longTitle);
}

TEST(ScreenRecordingTest, AnEmptyAddressIsNoAddress) {
    Memory m;
    Result r = m.record("com.apple.Safari", "Start", page, "");
    EXPECT_TRUE(m.row(r.id)["url"].isNull());
    EXPECT_FALSE(m.store.screenCapture(r.id)->url);
}

TEST(ScreenRecordingTest, ASummaryLastsOnlyAsLongAsItsText) {
    Memory m;
    const std::string text = page + " " + wordList("para", 0, 60);
    int64_t id = m.record("com.apple.Safari", "Pricing", text).id;
    m.store.setScreenSummary(id, "Pricing tiers, billed yearly.", std::string("Research"));
    auto c = m.store.screenCapture(id);
    EXPECT_EQ(c->summary, "Pricing tiers, billed yearly.");
    EXPECT_EQ(c->group, "Research");

    m.record("com.apple.Safari", "Pricing", text); // the same text: still described
    EXPECT_EQ(m.store.screenCapture(id)->summary, "Pricing tiers, billed yearly.");

    ASSERT_EQ(m.record("com.apple.Safari", "Pricing", page + " " + wordList("para", 1, 60)), Result::extended(id));
    c = m.store.screenCapture(id);
    EXPECT_FALSE(c->summary);
    EXPECT_EQ(c->group, "Research");

    m.store.setScreenSummary(id, "New summary.", std::nullopt); // no group: the topic stays
    c = m.store.screenCapture(id);
    EXPECT_EQ(c->summary, "New summary.");
    EXPECT_EQ(c->group, "Research");

    struct Case {
        const char* name;
        std::optional<std::string> group;
        std::optional<std::string> expected;
    } groups[] = {
        {"a name", "Trips", "Trips"},
        {"empty clears", "", std::nullopt},
        {"a name again", "Trips", "Trips"},
        {"nothing clears", std::nullopt, std::nullopt},
    };
    for (const auto& g : groups) {
        SCOPED_TRACE(g.name);
        m.store.setScreenGroup(id, g.group);
        EXPECT_EQ(m.store.screenCapture(id)->group, g.expected);
        EXPECT_EQ(m.store.screenGroups(10).size(), g.expected ? 1u : 0u);
    }

    // A summary longer than a summary may be reads back as none; length is in characters.
    m.store.setScreenSummary(id, repeated("\u00e9", 221), std::nullopt);
    EXPECT_EQ(m.store.screenCapture(id)->summary, repeated("\u00e9", 221));
    m.store.setScreenSummary(id, repeated("a", 222), std::nullopt);
    EXPECT_FALSE(m.store.screenCapture(id)->summary);
}

TEST(ScreenRecordingTest, TheSwitchLeavesTheEpochAlone) {
    Memory m;
    int64_t epoch = m.store.state().epoch;
    m.clock += 10;
    m.store.setScreen(false);
    EXPECT_FALSE(m.store.state().screen);
    EXPECT_EQ(m.store.state().epoch, epoch);
    EXPECT_EQ(m.store.db.one("SELECT updated_at FROM consent")->real("updated_at"), m.clock);
    m.store.setScreen(true);
    EXPECT_TRUE(m.store.state().screen);
}

TEST(ScreenRecordingTest, ExcludedApps) {
    Memory m;
    const auto& always = ScreenPolicy::alwaysExcluded();
    EXPECT_EQ(m.store.excludedApps(), always);

    m.store.setExtraExcludedApps({"com.example.b", "com.apple.Passwords", "com.example.a", "com.example.b"});
    EXPECT_EQ(m.store.meta("screen_excluded"), "com.example.b,com.example.a,com.example.b");
    auto excluded = m.store.excludedApps();
    EXPECT_EQ(excluded.size(), always.size() + 2);
    EXPECT_TRUE(excluded.contains("com.example.a"));

    m.store.setExtraExcludedApps({});
    EXPECT_EQ(m.store.meta("screen_excluded"), "");
    EXPECT_EQ(m.store.excludedApps(), always);

    m.store.db.run("UPDATE meta SET value = ',,com.example.c,,' WHERE key = 'screen_excluded'");
    EXPECT_EQ(m.store.excludedApps().size(), always.size() + 1);

    m.store.db.exec("DROP TABLE meta"); // unreadable: the built-in list alone
    EXPECT_EQ(m.store.excludedApps(), always);
}

TEST(ScreenReadingTest, RowsAreReadLeniently) {
    using Row = SQLiteDB::Row;
    const std::string hash = MemoryStore::sha("text");
    struct Case {
        const char* name;
        Row row;
        ScreenCapture expected;
    } cases[] = {
        {"every field",
         Row{{{"id", Value(7)},
              {"at", Value(10.5)},
              {"last_at", Value(20)},
              {"app_bundle", Value("b")},
              {"app_name", Value("App")},
              {"window_title", Value("T")},
              {"url", Value("https://x.example")},
              {"text", Value("text")},
              {"text_hash", Value(hash)},
              {"summary", Value("S")},
              {"summary_hash", Value(hash)},
              {"topic", Value("G")}}},
         ScreenCapture{7, 10.5, 20, "b", "App", "T", "https://x.example", "text", "S", "G"}},
        {"dates that are not numbers, address not text, empty topic",
         Row{{{"id", Value(8)},
              {"at", Value("yesterday")},
              {"last_at", Value()},
              {"url", Value(5)},
              {"text", Value("text")},
              {"text_hash", Value(hash)},
              {"summary", Value("S")},
              {"topic", Value("")}}},
         ScreenCapture{8, 0, 0, "", "", "", std::nullopt, "text", std::nullopt, std::nullopt}},
        {"summary written for another text",
         Row{{{"id", Value(9)},
              {"text", Value("text")},
              {"text_hash", Value(hash)},
              {"summary", Value("S")},
              {"summary_hash", Value(MemoryStore::sha("older"))}}},
         ScreenCapture{9, 0, 0, "", "", "", std::nullopt, "text", std::nullopt, std::nullopt}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MemoryStore::screenFrom(c.row), c.expected);
    }
}

TEST(ScreenReadingTest, LabelAndRecallPassage) {
    ScreenCapture c{42,
                    100,
                    250,
                    "com.apple.Safari",
                    "Safari",
                    "Pricing",
                    "https://example.com/p?a=1",
                    repeated("\u00e9", 3500),
                    std::nullopt,
                    std::nullopt};
    EXPECT_EQ(c.label(), "Safari \u2014 Pricing");
    ChunkRecord chunk = MemoryStore::screenChunk(c);
    EXPECT_EQ(chunk.id, 42);
    EXPECT_EQ(chunk.sourceID, -42);
    EXPECT_EQ(chunk.sourceKey, "screen:com.apple.Safari");
    EXPECT_EQ(chunk.sourceKind, "screen");
    EXPECT_EQ(chunk.sourceTitle, "Safari \u2014 Pricing");
    EXPECT_EQ(chunk.sourceURL, "https://example.com/p?a=1");
    EXPECT_EQ(chunk.kind, "screen");
    EXPECT_EQ(chunk.text, repeated("\u00e9", 3000));
    EXPECT_EQ(chunk.locator, "s=42");
    EXPECT_EQ(chunk.provenance, "captured");
    EXPECT_EQ(chunk.retrievedAt, 250);
    EXPECT_FALSE(chunk.heading || chunk.startMs || chunk.endMs);
    EXPECT_TRUE(chunk.cues.empty() && chunk.contentHash.empty() && chunk.sourceOrigin.empty());

    c.windowTitle = "";
    c.url.reset();
    EXPECT_EQ(c.label(), "Safari");
    EXPECT_EQ(MemoryStore::screenChunk(c).sourceURL, "");
}

TEST(ScreenReadingTest, NewestCapturesAndMessagingWindows) {
    Memory m;
    int64_t notes = m.add("com.apple.Notes", "Groceries", "Milk, eggs, bread and the good coffee beans.");
    int64_t mail = m.add("com.apple.mail", "Re: invoice", "Please send the signed invoice by Friday morning.");
    Date since = m.clock;
    int64_t gmail = m.add("com.google.Chrome", "Inbox (2) - Gmail", "Lunch tomorrow? Let me know by noon please.");
    int64_t page2 = m.add("com.apple.Safari", "Pricing", page);

    EXPECT_EQ(ids(m.store.screenCaptures(std::nullopt, 10)), (std::vector<int64_t>{page2, gmail, mail, notes}));
    EXPECT_EQ(ids(m.store.screenCaptures(std::nullopt, 2)), (std::vector<int64_t>{page2, gmail}));
    EXPECT_EQ(ids(m.store.screenCaptures(since, 10)), (std::vector<int64_t>{page2, gmail, mail}));
    EXPECT_EQ(ids(m.store.screenCaptures(std::nullopt, 10, true)), (std::vector<int64_t>{gmail, mail}));
    EXPECT_EQ(ids(m.store.screenCaptures(std::nullopt, 1, true)), (std::vector<int64_t>{gmail}));
    // A refresh moves a window up.
    m.clock += 10;
    m.record("com.apple.Notes", "Groceries", "Milk, eggs, bread and the good coffee beans.");
    EXPECT_EQ(ids(m.store.screenCaptures(std::nullopt, 1)), (std::vector<int64_t>{notes}));
    // No limit is no rows (SQLite would read a negative LIMIT as none at all).
    EXPECT_TRUE(m.store.screenCaptures(std::nullopt, 0).empty());
    EXPECT_TRUE(m.store.screenCaptures(std::nullopt, -1, true).empty());
    EXPECT_TRUE(m.store.searchScreen("pricing", -1).empty());
    EXPECT_TRUE(m.store.screenGroups(-1).empty());
    EXPECT_TRUE(m.store.screenGlimpses("", -1).empty());
}

const std::string costText =
    "The cost of hosting went up in March; the budget review covers storage, bandwidth and support contracts.";

// Captures for search: a short page repeating the word, an older long one naming it
// once, a window whose title alone holds it, and one about costs.
struct SearchMemory : Memory {
    int64_t dense = add("com.apple.Safari", "Plans", "roadmap roadmap roadmap for small teams");
    int64_t sparse =
        add("com.apple.Safari", "Handbook", wordList("chapter", 0, 150) + " roadmap " + wordList("more", 0, 50));
    int64_t titled = add("com.apple.Numbers", "Roadmap calculator", "Rows and columns of numbers, nothing else.");
    int64_t costs = add("com.apple.Notes", "Budget", costText);
};

TEST(ScreenSearchTest, FullTextOverTextAndTitleBestFirst) {
    SearchMemory m;
    auto found = ids(m.store.searchScreen("roadmap", 10));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found.front(), m.dense); // rank, not recency: the newest hit is `titled`
    EXPECT_TRUE(std::find(found.begin(), found.end(), m.titled) != found.end());
    EXPECT_EQ(ids(m.store.searchScreen("roadmap", 1)), (std::vector<int64_t>{m.dense}));
    // The expanded terms are looked for: "pricing" adds "price" and "cost".
    EXPECT_EQ(ids(m.store.searchScreen("pricing", 10)), (std::vector<int64_t>{m.costs}));
    EXPECT_TRUE(m.store.searchScreen("the and of", 10).empty());
    EXPECT_TRUE(m.store.searchScreen("", 10).empty());
}

TEST(ScreenSearchTest, TheUsersWordsAreNeverQuerySyntax) {
    SearchMemory m;
    const char* queries[] = {
        "\"roadmap", "roadmap\"", "roadmap OR",    "NEAR(roadmap", "text:roadmap",          "roadmap*",
        "-roadmap",  "^roadmap",  "roadmap AND (", "{roadmap}",    "roadmap'; DROP TABLE x"};
    for (const char* q : queries) {
        SCOPED_TRACE(q);
        std::vector<ScreenCapture> found;
        EXPECT_NO_THROW(found = m.store.searchScreen(q, 10));
        EXPECT_EQ(found.size(), 3u);
    }
}

TEST(ScreenSearchTest, WithoutTheFullTextIndexTextsAreMatchedNewestFirst) {
    Memory m;
    m.dropFullText();
    int64_t dense = m.add("com.apple.Safari", "Plans", "pricing pricing pricing for small teams");
    int64_t sparse = m.add("com.apple.Safari", "Handbook", "A long handbook that names pricing only once.");
    m.add("com.apple.Numbers", "Pricing calculator", "Rows and columns of numbers, nothing else.");
    EXPECT_EQ(ids(m.store.searchScreen("pricing", 10)), (std::vector<int64_t>{sparse, dense}));

    // Only the first six terms are looked for.
    int64_t golf = m.add("com.apple.Notes", "Words", "The golf course opens at nine in the morning.");
    EXPECT_TRUE(m.store.searchScreen("alpha bravo charlie delta echo foxtrot golf", 10).empty());
    EXPECT_EQ(ids(m.store.searchScreen("alpha bravo charlie delta echo golf", 10)), (std::vector<int64_t>{golf}));
    EXPECT_EQ(m.store.searchScreen("pricing", 1).size(), 1u);
}

TEST(ScreenSearchTest, DeletingFollowsIntoTheIndex) {
    SearchMemory m;
    m.store.deleteScreenCapture(m.dense);
    EXPECT_FALSE(m.store.screenCapture(m.dense));
    EXPECT_EQ(m.store.searchScreen("roadmap", 10).size(), 2u);
    m.store.deleteScreenCapture(12345); // unknown: nothing happens
    // A refreshed text is found by its new words only.
    m.clock += 1;
    ASSERT_EQ(m.record("com.apple.Notes", "Budget", costText + " April"), Result::extended(m.costs));
    EXPECT_EQ(ids(m.store.searchScreen("april", 10)), (std::vector<int64_t>{m.costs}));
    m.store.clearScreenMemory();
    EXPECT_EQ(m.rows(), 0);
    EXPECT_TRUE(m.store.searchScreen("roadmap cost", 10).empty());
}

TEST(ScreenGroupsTest, MostRecentlyActiveFirst) {
    Memory m;
    int64_t a = m.add("com.apple.Safari", "One", page);
    int64_t b = m.add("com.apple.Safari", "Two", page);
    int64_t c = m.add("com.apple.Safari", "Three", page);
    int64_t d = m.add("com.apple.Safari", "Four", page);
    m.add("com.apple.Safari", "Five", page);
    m.store.setScreenGroup(a, "Trips");
    m.store.setScreenGroup(b, "Research");
    m.store.setScreenGroup(c, "Trips");
    m.store.setScreenSummary(d, "Summary.", std::string("Research"));
    Date newest = m.clock - 1; // d
    EXPECT_EQ(m.store.screenGroups(10), (std::vector<ScreenGroup>{{"Research", 2, newest}, {"Trips", 2, newest - 1}}));
    EXPECT_EQ(m.store.screenGroups(1).size(), 1u);
}

// Glimpse queries and windows: the newest candidates come first, so within a key the
// newest capture is the one whose text is shown.
TEST(ScreenGlimpsesTest, MailChatAndAssistantWindowsAreNeverShown) {
    Memory m;
    int64_t safari = m.add("com.apple.Safari", "Pricing", page, "https://example.com/pricing");
    m.add("com.google.Chrome", "Inbox (4) - Gmail", "Lunch tomorrow? Let me know by noon, pricing attached.");
    m.add("com.apple.mail", "Quarterly pricing", "Attached are the pricing tiers for next quarter.");
    m.add("com.openai.chat", "ChatGPT", "Explain the pricing tiers of the enterprise plan.");
    m.add("com.anthropic.claudefordesktop", "Claude", "Summarise the pricing tiers, please.");
    for (const char* query : {"", "pricing"}) {
        SCOPED_TRACE(query);
        auto glimpses = m.store.screenGlimpses(query, 5);
        ASSERT_EQ(glimpses.size(), 1u);
        EXPECT_EQ(glimpses[0].title, "Pricing");
        EXPECT_EQ(glimpses[0].text, m.store.screenCapture(safari)->text);
    }
}

TEST(ScreenGlimpsesTest, CapturesOfOnePageFoldIntoOneGlimpse) {
    Memory m;
    const std::string url = "https://example.com/docs?session=abc#part";
    int64_t older = m.add("com.apple.Safari", "Docs", "Chapter one: installing the tools on a new machine.", url);
    m.store.setScreenSummary(older, "How to install.", std::string("Setup"));
    Date olderAt = m.clock;
    m.add("com.apple.Notes", "Todo", "Water the plants and call the plumber about the sink.");
    int64_t newer = m.add("com.apple.Safari", "", "Chapter two: configuring the tools once installed.", url);
    m.add("com.apple.Notes", "Todo", "Completely unrelated list of errands for the long weekend.");
    m.add("com.apple.Preview", "scan.pdf", "Scanned receipt from the hardware store downtown.");

    auto glimpses = m.store.screenGlimpses("", 2);
    ASSERT_EQ(glimpses.size(), 2u);
    // First seen first: the newest Preview window, then the notes (two records, one key).
    EXPECT_EQ(glimpses[0].app, "App com.apple.Preview");
    EXPECT_EQ(glimpses[1].title, "Todo");
    EXPECT_EQ(glimpses[1].text, "Completely unrelated list of errands for the long weekend.");

    glimpses = m.store.screenGlimpses("", 5);
    ASSERT_EQ(glimpses.size(), 3u);
    const ScreenGlimpse& docs = glimpses[2];
    EXPECT_EQ(docs.url, "https://example.com/docs");
    EXPECT_EQ(docs.text, m.store.screenCapture(newer)->text); // the newest capture's text
    EXPECT_EQ(docs.title, "Docs");                            // an empty title is filled
    EXPECT_EQ(docs.summary, "How to install.");               // as is a missing summary
    EXPECT_EQ(docs.group, "Setup");
    EXPECT_EQ(docs.at, olderAt);
    EXPECT_EQ(docs.lastAt, m.store.screenCapture(newer)->lastAt);
}

TEST(ScreenGlimpsesTest, AKeyBeyondTheLimitStillWidensTheOnesShown) {
    Memory m;
    int64_t oldest = m.add("com.apple.Notes", "Todo", "Water the plants and call the plumber about the sink.");
    m.add("com.apple.Preview", "scan.pdf", "Scanned receipt from the hardware store downtown.");
    m.add("com.apple.Notes", "Todo", "Completely unrelated list of errands for the long weekend.");
    auto glimpses = m.store.screenGlimpses("", 1);
    ASSERT_EQ(glimpses.size(), 1u);
    EXPECT_EQ(glimpses[0].title, "Todo");
    EXPECT_EQ(glimpses[0].at, m.store.screenCapture(oldest)->at);
}

TEST(ScreenGlimpsesTest, AGroupNamedLikeTheQueryComesFirst) {
    Memory m;
    int64_t beans = m.add("com.apple.Safari", "Beans", "Single origin beans from Ethiopia, light roast.");
    int64_t grinders = m.add("com.apple.Safari", "Grinders", "Burr grinders compared: research on consistency.");
    int64_t mail = m.add("com.apple.mail", "Order", "Your order of burr grinders has shipped today.");
    m.add("com.apple.Notes", "Plans", "Research notes: open a cafe near the station.");
    for (int64_t id : {beans, grinders, mail}) {
        m.store.setScreenGroup(id, "Caf\u00e9 Research");
    }
    struct Case {
        const char* name;
        const char* query;
        std::vector<std::string> titles;
        bool ordered;
    } cases[] = {
        // The group's records newest first (its mail window left out), then the other
        // hits; "Grinders" is a hit too but is listed once.
        {"group name in other capitals, without accents", "  CAFE research ", {"Grinders", "Beans", "Plans"}, true},
        {"group name exactly", "Caf\u00e9 Research", {"Grinders", "Beans", "Plans"}, true},
        {"not a group name: search hits only", "research", {"Grinders", "Plans"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> found;
        for (const auto& g : m.store.screenGlimpses(c.query, 10)) {
            found.push_back(g.title);
        }
        if (!c.ordered) { // in the index's rank order
            std::sort(found.begin(), found.end());
        }
        EXPECT_EQ(found, c.titles);
    }
}

} // namespace
} // namespace brell
