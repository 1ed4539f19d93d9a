#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// A memory with screen memory on and a clock the test moves.
struct Memory {
    Date clock = 1'800'000'000.0;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};

    Memory() {
        store.setEnabled(true);
        store.setScreen(true);
    }

    // Records a new window one minute after the previous reading and returns its id.
    int64_t add(const std::string& bundle, const std::string& title, const std::string& text) {
        clock += 60;
        auto r = store.recordScreen(bundle, "App", title, std::nullopt, text);
        EXPECT_EQ(r.kind, MemoryStore::RecordResult::Kind::inserted) << title;
        return r.id;
    }
};

std::vector<int64_t> ids(const std::vector<ScreenCapture>& captures) {
    std::vector<int64_t> out;
    for (const auto& c : captures) {
        out.push_back(c.id);
    }
    return out;
}

TEST(MemoryStoreSummariesTest, WindowsWaitForASummaryUntilOneFitsTheirText) {
    Memory m;
    int64_t a = m.add("com.apple.Safari", "Pricing", "The pricing tiers of the enterprise plan, billed yearly.");
    int64_t b = m.add("com.apple.Notes", "Lease", "Call the landlord about the lease renewal before Friday.");
    int64_t c = m.add("com.apple.mail", "Inbox", "Sam asks whether the contract can be signed by Monday.");
    EXPECT_EQ(ids(m.store.screenCapturesToSummarize(10)), (std::vector<int64_t>{c, b, a})) << "newest first";
    EXPECT_EQ(ids(m.store.screenCapturesToSummarize(2)), (std::vector<int64_t>{c, b}));
    EXPECT_TRUE(m.store.screenCapturesToSummarize(0).empty());

    m.store.setScreenSummary(b, "Lease renewal call due Friday.", std::string("Lease"));
    m.store.setScreenSummary(c, "Sam wants the contract signed by Monday.", std::nullopt);
    EXPECT_EQ(ids(m.store.screenCapturesToSummarize(10)), (std::vector<int64_t>{a}));

    // A changed text (similar enough to stay one record) retires the summary.
    m.clock += 60;
    auto r = m.store.recordScreen("com.apple.Notes", "App", "Lease", std::nullopt,
                                  "Call the landlord about the lease renewal before Friday morning.");
    ASSERT_EQ(r, MemoryStore::RecordResult::extended(b));
    EXPECT_EQ(ids(m.store.screenCapturesToSummarize(10)), (std::vector<int64_t>{b, a}));
}

TEST(MemoryStoreSummariesTest, CatchUpReadsTheLastDaysMailAndChat) {
    Memory m;
    int64_t old = m.add("com.apple.mail", "Inbox (old)", "An old message about the quarterly report numbers.");
    m.clock += MemoryStore::catchUpWindow;
    int64_t mail = m.add("com.apple.mail", "Inbox", "Sam asks whether the contract can be signed by Monday.");
    int64_t gmail = m.add("com.google.Chrome", "Inbox - Gmail", "Ana wants the slides for the board meeting.");
    m.add("com.apple.Safari", "Pricing", "The pricing tiers of the enterprise plan, billed yearly.");
    EXPECT_EQ(ids(m.store.catchUpCaptures(10)), (std::vector<int64_t>{gmail, mail}));
    EXPECT_EQ(ids(m.store.catchUpCaptures(1)), (std::vector<int64_t>{gmail}));
    // Exactly 24 hours back still counts.
    m.clock = m.store.screenCapture(old)->lastAt + MemoryStore::catchUpWindow;
    EXPECT_EQ(ids(m.store.catchUpCaptures(10)).back(), old);
}

TEST(MemoryStoreSummariesTest, SharedGroupsCountOnlyWhatAssistantsMaySee) {
    Memory m;
    int64_t pricing1 = m.add("com.apple.Safari", "Pricing", "The pricing tiers of the enterprise plan, billed yearly.");
    int64_t lawsuit = m.add("com.apple.mail", "Inbox", "The lawyer writes about the settlement with the neighbours.");
    int64_t pricing2 = m.add("com.apple.Notes", "Plans", "Notes on which plan to choose for the team next year.");
    int64_t pricingMail = m.add("com.google.Chrome", "Pricing - Gmail", "Ana forwards the pricing quote for teams.");
    int64_t chat = m.add("com.openai.chat", "ChatGPT", "A conversation about moving the kitchen wall and costs.");
    int64_t kitchen = m.add("com.apple.Safari", "Tiles", "Kitchen tiles in terracotta, forty euros a square metre.");
    m.store.setScreenGroup(pricing1, std::string("Pricing"));
    m.store.setScreenGroup(lawsuit, std::string("Neighbour lawsuit"));
    m.store.setScreenGroup(pricing2, std::string("Pricing"));
    m.store.setScreenGroup(pricingMail, std::string("Pricing"));
    m.store.setScreenGroup(chat, std::string("Kitchen"));
    m.store.setScreenGroup(kitchen, std::string("Kitchen"));

    auto shared = m.store.sharedScreenGroups(10);
    auto lastSeen = [&](int64_t id) { return m.store.screenCapture(id)->lastAt; };
    EXPECT_EQ(shared,
              (std::vector<ScreenGroup>{{"Kitchen", 1, lastSeen(kitchen)}, {"Pricing", 2, lastSeen(pricing2)}}));
    EXPECT_EQ(m.store.sharedScreenGroups(1).size(), 1u);
    EXPECT_TRUE(m.store.sharedScreenGroups(0).empty());
    // The application's own list still shows every group.
    EXPECT_EQ(m.store.screenGroups(10).size(), 3u);
}

} // namespace
} // namespace brell
