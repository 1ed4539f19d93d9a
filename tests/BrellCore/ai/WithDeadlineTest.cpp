// The deadline race: the operation against a timer, the loser cancelled, the timer
// always joined before the call returns.
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "BrellCore/ai/Explainer.h"

namespace brell {
namespace {

using namespace std::chrono_literals;

// Longer than any test may run: an operation that waits this long was never cancelled.
constexpr auto forever = std::chrono::minutes(10);

TEST(WithDeadlineTest, AnOperationThatFinishesInTimeGivesItsValue) {
    CancelToken caller;
    CancelToken seen;
    int value = Explainer::withDeadline(60, caller, [&](const CancelToken& token) {
        seen = token;
        return 42;
    });
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(seen.cancelled());
    EXPECT_FALSE(caller.cancelled());
}

TEST(WithDeadlineTest, TheTimerCancelsASlowOperationWithTimeout) {
    CancelToken caller;
    bool sawCancel = false;
    try {
        Explainer::withDeadline(0.05, caller, [&](const CancelToken& token) {
            sawCancel = token.waitFor(forever);
            throw std::runtime_error("the operation's own failure after cancellation");
        });
        FAIL() << "no timeout";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::timeout());
    }
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(caller.cancelled()) << "the deadline cancels the call, not the caller";
}

TEST(WithDeadlineTest, ALateAnswerIsDiscarded) {
    CancelToken caller;
    EXPECT_THROW(
        {
            Explainer::withDeadline(0.02, caller, [](const CancelToken& token) {
                token.waitFor(forever); // ends at the deadline's cancellation
                return std::string("late answer");
            });
        },
        ExplainError);
}

TEST(WithDeadlineTest, TheOperationsErrorPassesThrough) {
    CancelToken caller;
    try {
        Explainer::withDeadline(60, caller, [](const CancelToken&) -> int { throw ExplainError::refused(); });
        FAIL() << "no error";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::refused());
    }
}

TEST(WithDeadlineTest, ACancelledCallerGetsCancelled) {
    CancelToken caller;
    std::thread canceller([caller] {
        std::this_thread::sleep_for(20ms);
        caller.cancel();
    });
    try {
        Explainer::withDeadline(600, caller, [](const CancelToken& token) {
            token.waitFor(forever);
            return 1;
        });
        FAIL() << "not cancelled";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::cancelled());
    }
    canceller.join();

    bool ran = false;
    EXPECT_THROW(Explainer::withDeadline(600, caller, [&](const CancelToken&) { ran = true; }), ExplainError);
    EXPECT_FALSE(ran) << "an already cancelled caller starts nothing";
}

} // namespace
} // namespace brell
