// The setup guide where permissions cannot be known: never taken as granted, never
// blocking the walk, and said plainly in the summary.
#include <gtest/gtest.h>

#include "BrellCore/help/SetupGuide.h"

namespace brell {
namespace {

using Step = OnboardingStep;
using State = SetupGuide::StepState;
using OnboardingFlow::Seen;

SetupGuide linuxGuide() {
    SetupGuide g;
    g.accessibilityUnknown = true;
    g.screenPermissionUnknown = true;
    return g;
}

std::string states(const SetupGuide& g, const Seen& seen) {
    std::string out;
    for (const auto& [step, state] : g.steps(seen)) {
        const char* word[] = {"done", "current", "todo", "unknown"};
        out += OnboardingSteps::rawValue(step) + "=" + word[static_cast<int>(state)] + " ";
    }
    return out;
}

TEST(SetupGuideTest, WithEverythingKnownItFollowsTheFlow) {
    SetupGuide g;
    const Seen cases[] = {{}, {Step::welcome}, {Step::welcome, Step::capture}, {Step::welcome, Step::browser}};
    for (const auto& seen : cases) {
        EXPECT_EQ(g.current(seen), OnboardingFlow::firstUnfinished(g.facts, seen));
    }
    g.facts.accessibility = true;
    for (const auto& seen : cases) {
        EXPECT_EQ(g.current(seen), OnboardingFlow::firstUnfinished(g.facts, seen));
    }
}

TEST(SetupGuideTest, AnUnknownPermissionIsPassedOnceSeenAndNeverShownDone) {
    SetupGuide g = linuxGuide();
    Seen seen;
    EXPECT_EQ(g.current(seen), Step::welcome);
    EXPECT_EQ(states(g, seen), "welcome=current capture=todo browser=todo screen=todo chrome=todo finish=todo ");
    seen.insert(Step::welcome);
    EXPECT_EQ(g.current(seen), Step::capture);
    seen.insert(Step::capture);
    EXPECT_EQ(g.current(seen), Step::browser);
    EXPECT_EQ(states(g, seen), "welcome=done capture=unknown browser=current screen=todo chrome=todo finish=todo ");
    seen.insert(Step::browser);
    g.facts.screenOn = true;
    EXPECT_EQ(g.current(seen), Step::screen);
    seen.insert(Step::screen);
    EXPECT_EQ(g.current(seen), Step::chrome);
    EXPECT_EQ(states(g, seen), "welcome=done capture=unknown browser=done screen=unknown chrome=current finish=todo ");
    seen.insert(Step::chrome); // Chrome is not installed
    EXPECT_EQ(g.current(seen), Step::finish);
    // The flow itself still counts the permission as missing.
    EXPECT_EQ(OnboardingFlow::firstUnfinished(g.facts, seen), Step::capture);
}

TEST(SetupGuideTest, SummarySaysWhatCannotBeKnown) {
    SetupGuide g = linuxGuide();
    auto lines = g.summary("\u2303\u2325\u2318S");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].on, std::nullopt);
    EXPECT_EQ(lines[0].text, "Whether \u2303\u2325\u2318S can read selected text can't be known on this system.");
    // Screen memory off is known to be off, whatever the permission.
    EXPECT_EQ(lines[3].on, false);
    EXPECT_EQ(lines[3].text, "Screen memory is off (optional).");

    g.facts.screenOn = true;
    lines = g.summary("\u2303\u2325\u2318S");
    EXPECT_EQ(lines[3].on, std::nullopt);
    EXPECT_EQ(lines[3].text,
              "Screen memory is on; whether it has the Screen Recording permission can't be known on this system.");

    // Known facts keep the flow's own lines.
    SetupGuide known;
    known.facts.screenOn = true;
    lines = known.summary("X");
    EXPECT_EQ(lines[0].on, false);
    EXPECT_EQ(lines[0].text, "X can't read selected text yet.");
    EXPECT_EQ(lines[3].text, "Screen memory is waiting for the Screen Recording permission.");
}

} // namespace
} // namespace brell
