#pragma once
// A shared cancellation flag for work that waits: an HTTP transfer, a child process, a
// timer. Copies share one flag; cancel() sets it once and for good and wakes every
// waiter. A child token is cancelled with its parent (and may be cancelled on its own),
// which is how a deadline cancels one call without touching the caller's token.
//
// Thread-safe: any thread may cancel while others wait or poll. Throws nothing except
// std::bad_alloc.
#include <chrono>
#include <memory>

namespace brell {

class CancelToken {
public:
    using Clock = std::chrono::steady_clock;

    // A fresh token, not cancelled.
    CancelToken();

    void cancel() const;
    bool cancelled() const;

    // Waits until the token is cancelled or `until` has passed; true when cancelled.
    bool waitUntil(Clock::time_point until) const;
    bool waitFor(std::chrono::duration<double> seconds) const;

    // A new token that is cancelled when this one is (at once if it already is).
    CancelToken child() const;

private:
    struct State;
    explicit CancelToken(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

} // namespace brell
