#include "platform/CancelToken.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace brell {

struct CancelToken::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool cancelled = false;
    std::vector<std::weak_ptr<State>> children;
};

CancelToken::CancelToken() : state_(std::make_shared<State>()) {}

CancelToken::CancelToken(std::shared_ptr<State> state) : state_(std::move(state)) {}

void CancelToken::cancel() const {
    std::vector<std::weak_ptr<State>> children;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled) {
            return;
        }
        state_->cancelled = true;
        children.swap(state_->children);
    }
    state_->changed.notify_all();
    // Children are cancelled outside this token's lock, so no two locks are ever held.
    for (const auto& weak : children) {
        if (auto child = weak.lock()) {
            CancelToken(std::move(child)).cancel();
        }
    }
}

bool CancelToken::cancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

bool CancelToken::waitUntil(Clock::time_point until) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_until(lock, until, [&] { return state_->cancelled; });
}

bool CancelToken::waitFor(std::chrono::duration<double> seconds) const {
    return waitUntil(Clock::now() + std::chrono::duration_cast<Clock::duration>(seconds));
}

CancelToken CancelToken::child() const {
    CancelToken made;
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled) {
        made.state_->cancelled = true;
        return made;
    }
    auto& children = state_->children;
    children.erase(std::remove_if(children.begin(), children.end(), [](const auto& w) { return w.expired(); }),
                   children.end());
    children.push_back(made.state_);
    return made;
}

} // namespace brell
