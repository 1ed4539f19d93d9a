// The setup guide's logic: steps, completion, the next step, auto-advance, Chrome's
// stage, the summary lines and the stored seen set.
#include <gtest/gtest.h>

#include "BrellCore/help/OnboardingFlow.h"

namespace brell {
namespace {

using Step = OnboardingStep;
using Stage = OnboardingFlow::ChromeStage;
using OnboardingFlow::Seen;

OnboardingFacts facts(std::function<void(OnboardingFacts&)> set) {
    OnboardingFacts f;
    set(f);
    return f;
}

TEST(OnboardingStepTest, Fields) {
    std::string listing;
    for (auto s : OnboardingSteps::allCases()) {
        listing += std::to_string(OnboardingSteps::number(s)) + " " + OnboardingSteps::rawValue(s) + " \"" +
                   OnboardingSteps::title(s) + "\"" + (OnboardingSteps::isPermission(s) ? " permission" : "") +
                   (OnboardingSteps::isOptional(s) ? " optional" : "") + "\n";
        EXPECT_EQ(OnboardingSteps::fromRaw(OnboardingSteps::rawValue(s)), s);
    }
    EXPECT_EQ(listing, "1 welcome \"Welcome\"\n"
                       "2 capture \"Read your selection\" permission\n"
                       "3 browser \"Keep the page address\" permission optional\n"
                       "4 screen \"Remember your screen\" permission optional\n"
                       "5 chrome \"Add BRELL to Chrome\"\n"
                       "6 finish \"Done\"\n");
    EXPECT_EQ(OnboardingSteps::next(Step::welcome), Step::capture);
    EXPECT_EQ(OnboardingSteps::next(Step::chrome), Step::finish);
    EXPECT_EQ(OnboardingSteps::next(Step::finish), std::nullopt);
    EXPECT_EQ(OnboardingSteps::previous(Step::welcome), std::nullopt);
    EXPECT_EQ(OnboardingSteps::previous(Step::capture), Step::welcome);
    EXPECT_EQ(OnboardingSteps::fromRaw("Welcome"), std::nullopt);
}

TEST(OnboardingFlowTest, StepCompletion) {
    const Seen none;
    const Seen all(OnboardingSteps::allCases().begin(), OnboardingSteps::allCases().end());
    struct Case {
        const char* name;
        Step step;
        OnboardingFacts facts;
        Seen seen;
        bool complete;
    } cases[] = {
        {"welcome unseen", Step::welcome, {}, none, false},
        {"welcome seen", Step::welcome, {}, {Step::welcome}, true},
        {"browser seen", Step::browser, {}, {Step::browser}, true},
        {"browser not seen, whatever the facts", Step::browser, facts([](auto& f) { f.browserNeedsAsking = true; }),
         none, false},
        {"capture seen is not enough", Step::capture, {}, all, false},
        {"capture granted", Step::capture, facts([](auto& f) { f.accessibility = true; }), none, true},
        {"screen on and permitted", Step::screen, facts([](auto& f) { f.screenOn = f.screenPermitted = true; }), none,
         true},
        {"screen on, not permitted, unseen", Step::screen, facts([](auto& f) { f.screenOn = true; }), none, false},
        {"screen off but seen", Step::screen, {}, {Step::screen}, true},
        {"chrome linked and connected once", Step::chrome,
         facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = f.extensionEverConnected = true; }), none, true},
        {"chrome installed, manifest missing, seen", Step::chrome,
         facts([](auto& f) { f.chromeAppInstalled = f.extensionEverConnected = true; }), all, false},
        {"chrome installed, never connected, seen", Step::chrome,
         facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = true; }), all, false},
        {"chrome absent, seen", Step::chrome, {}, {Step::chrome}, true},
        {"chrome absent, unseen", Step::chrome, {}, none, false},
        {"finish never", Step::finish,
         facts([](auto& f) { f = {true, true, true, true, true, true, true, true, true, true, true, true, true}; }),
         all, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OnboardingFlow::isComplete(c.step, c.facts, c.seen), c.complete);
    }
}

TEST(OnboardingFlowTest, FirstUnfinishedWalksInOrder) {
    OnboardingFacts f;
    Seen seen;
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::welcome);
    seen.insert(Step::welcome);
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::capture);
    for (int i = 0; i < 3; ++i) {
        seen.insert(Step::capture);
        EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::capture);
    }
    f.accessibility = true;
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::browser);
    seen.insert(Step::browser);
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::screen);
    seen.insert(Step::screen);
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::chrome);
    f.chromeAppInstalled = true;
    seen.insert(Step::chrome);
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::chrome);
    f.hostInstalled = f.extensionEverConnected = true;
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, seen), Step::finish);
    // A later step done early does not skip an earlier one.
    EXPECT_EQ(OnboardingFlow::firstUnfinished(f, {Step::browser, Step::screen}), Step::welcome);
}

TEST(OnboardingFlowTest, AutoAdvanceOnlyWhenJustGranted) {
    const OnboardingFacts none;
    struct Case {
        const char* name;
        Step step;
        OnboardingFacts before;
        OnboardingFacts after;
        bool advance;
    } cases[] = {
        {"capture granted", Step::capture, none, facts([](auto& f) { f.accessibility = true; }), true},
        {"capture already granted", Step::capture, facts([](auto& f) { f.accessibility = true; }),
         facts([](auto& f) { f.accessibility = true; }), false},
        {"capture revoked", Step::capture, facts([](auto& f) { f.accessibility = true; }), none, false},
        {"screen permitted while on", Step::screen, facts([](auto& f) { f.screenOn = true; }),
         facts([](auto& f) { f.screenOn = f.screenPermitted = true; }), true},
        {"screen switched on while permitted", Step::screen, facts([](auto& f) { f.screenPermitted = true; }),
         facts([](auto& f) { f.screenOn = f.screenPermitted = true; }), true},
        {"screen already working", Step::screen, facts([](auto& f) { f.screenOn = f.screenPermitted = true; }),
         facts([](auto& f) { f.screenOn = f.screenPermitted = true; }), false},
        {"screen permitted but off", Step::screen, none, facts([](auto& f) { f.screenPermitted = true; }), false},
        {"chrome starts talking", Step::chrome, none, facts([](auto& f) { f.extensionConnected = true; }), true},
        {"chrome already talking", Step::chrome, facts([](auto& f) { f.extensionConnected = true; }),
         facts([](auto& f) { f.extensionConnected = true; }), false},
        {"welcome never", Step::welcome, none, facts([](auto& f) { f.accessibility = f.memoryOn = true; }), false},
        {"browser never", Step::browser, facts([](auto& f) { f.browserNeedsAsking = true; }), none, false},
        {"finish never", Step::finish, none, facts([](auto& f) { f.extensionConnected = true; }), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OnboardingFlow::shouldAutoAdvance(c.step, c.before, c.after), c.advance);
    }
}

TEST(OnboardingFlowTest, ChromeStage) {
    struct Case {
        const char* name;
        OnboardingFacts facts;
        Stage stage;
    } cases[] = {
        {"nothing", {}, Stage::notInstalled},
        {"manifest without Chrome", facts([](auto& f) { f.hostInstalled = f.extensionConnected = true; }),
         Stage::notInstalled},
        {"Chrome without manifest", facts([](auto& f) { f.chromeAppInstalled = f.extensionEverConnected = true; }),
         Stage::needsLink},
        {"linked, never heard", facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = true; }),
         Stage::needsExtension},
        {"linked, heard once",
         facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = f.extensionEverConnected = true; }),
         Stage::connected},
        {"linked, talking now",
         facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = f.extensionConnected = true; }),
         Stage::connected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OnboardingFlow::chromeStage(c.facts), c.stage);
    }
    EXPECT_EQ(static_cast<int>(Stage::notInstalled), 0);
    EXPECT_EQ(static_cast<int>(Stage::connected), 3);
}

TEST(OnboardingFlowTest, SummaryLines) {
    // Each case: the facts, then the five lines as "on|text" in order.
    struct Case {
        const char* name;
        OnboardingFacts facts;
        std::vector<std::string> lines;
    } cases[] = {
        {"nothing set up",
         {},
         {"0|\u2303\u2325\u2318S can't read selected text yet.", "0|Memory is off.",
          "0|Chrome isn't installed. Video and article memory need it.", "0|Screen memory is off (optional).",
          "0|No AI found. Search still works without it."}},
        {"everything working",
         facts([](auto& f) {
             f.accessibility = f.memoryOn = f.chromeAppInstalled = f.hostInstalled = f.extensionConnected = true;
             f.screenOn = f.screenPermitted = f.claudeCode = f.onDevice = true;
         }),
         {"1|\u2303\u2325\u2318S saves selected text.", "1|Memory is on.", "1|Chrome is connected.",
          "1|Screen memory is on.", "1|AI: Claude Code and Apple Intelligence, found on this Mac."}},
        {"paused, Chrome heard before, screen waiting, Claude Code",
         facts([](auto& f) {
             f.memoryOn = f.memoryPaused = f.chromeAppInstalled = f.hostInstalled = f.extensionEverConnected = true;
             f.screenOn = f.claudeCode = f.aiReady = true;
         }),
         {"0|\u2303\u2325\u2318S can't read selected text yet.", "0|Memory is on but paused.",
          "1|Chrome was connected. Open Chrome to resume.",
          "0|Screen memory is waiting for the Screen Recording permission.", "1|AI: Claude Code, found on this Mac."}},
        {"paused while off, Chrome not linked, on-device model",
         facts([](auto& f) {
             f.memoryPaused = f.chromeAppInstalled = f.extensionEverConnected = true;
             f.screenPermitted = f.onDevice = f.aiReady = true;
         }),
         {"0|\u2303\u2325\u2318S can't read selected text yet.", "0|Memory is off.",
          "0|The Chrome extension isn't added yet.", "0|Screen memory is off (optional).",
          "1|AI: Apple Intelligence on this Mac."}},
        {"linked but never heard, provider configured",
         facts([](auto& f) { f.chromeAppInstalled = f.hostInstalled = f.aiReady = true; }),
         {"0|\u2303\u2325\u2318S can't read selected text yet.", "0|Memory is off.",
          "0|The Chrome extension isn't added yet.", "0|Screen memory is off (optional).", "1|AI is set up."}},
    };
    const std::vector<Step> order = {Step::capture, Step::welcome, Step::chrome, Step::screen, Step::finish};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto items = OnboardingFlow::summary(c.facts, "\u2303\u2325\u2318S");
        ASSERT_EQ(items.size(), 5u);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].step, order[i]);
            lines.push_back(std::string(items[i].on ? "1|" : "0|") + items[i].text);
        }
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(OnboardingFlowTest, SeenSetStoredForm) {
    EXPECT_EQ(OnboardingFlow::decodeSeen(std::vector<std::string>{"chrome", "welcome", "nonsense", "Welcome", ""}),
              (Seen{Step::welcome, Step::chrome}));
    EXPECT_EQ(OnboardingFlow::decodeSeen(std::nullopt), Seen{});
    EXPECT_EQ(OnboardingFlow::decodeSeen(std::vector<std::string>{}), Seen{});
    EXPECT_EQ(OnboardingFlow::encodeSeen({Step::chrome, Step::welcome}),
              (std::vector<std::string>{"welcome", "chrome"}));
    const Seen all(OnboardingSteps::allCases().begin(), OnboardingSteps::allCases().end());
    EXPECT_EQ(OnboardingFlow::decodeSeen(OnboardingFlow::encodeSeen(all)), all);
}

TEST(OnboardingFactsTest, ExtensionTalkingWithinTheWindow) {
    struct Case {
        std::optional<Date> lastSeen;
        Date now;
        bool talking;
    } cases[] = {
        {std::nullopt, 1000, false}, {1000, 1000, true},  {1000, 1180, true},
        {1000, 1180.001, false},     {1000, 5000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now);
        EXPECT_EQ(OnboardingFacts::extensionTalking(c.lastSeen, c.now, 180), c.talking);
    }
}

} // namespace
} // namespace brell
