// The cancellation token every waiting call shares: children follow their parent, and
// a waiter wakes as soon as the token is cancelled.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/CancelToken.h"

namespace brell {
namespace {

using namespace std::chrono_literals;

TEST(CancelTokenTest, ChildrenFollowTheirParentButNotTheOtherWayRound) {
    CancelToken parent;
    CancelToken child = parent.child();
    CancelToken grandchild = child.child();
    CancelToken sibling = parent.child();

    sibling.cancel();
    EXPECT_TRUE(sibling.cancelled());
    EXPECT_FALSE(parent.cancelled());
    EXPECT_FALSE(child.cancelled());

    parent.cancel();
    EXPECT_TRUE(child.cancelled());
    EXPECT_TRUE(grandchild.cancelled());
    EXPECT_TRUE(parent.child().cancelled()) << "a child of a cancelled token starts cancelled";
}

TEST(CancelTokenTest, CopiesShareOneFlag) {
    CancelToken token;
    CancelToken copy = token;
    copy.cancel();
    EXPECT_TRUE(token.cancelled());
}

TEST(CancelTokenTest, AWaiterWakesWhenAnotherThreadCancels) {
    CancelToken token;
    std::thread canceller([token] {
        std::this_thread::sleep_for(20ms);
        token.child(); // taking a child meanwhile is harmless
        token.cancel();
    });
    // Far longer than any test may take: returning true proves the wake-up.
    EXPECT_TRUE(token.waitFor(std::chrono::minutes(10)));
    canceller.join();
}

TEST(CancelTokenTest, AWaitWithoutCancellationEndsAtItsTime) {
    CancelToken token;
    EXPECT_FALSE(token.waitFor(10ms));
    EXPECT_FALSE(token.waitUntil(CancelToken::Clock::now() - 1s));
}

} // namespace
} // namespace brell
