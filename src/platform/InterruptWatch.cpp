#include "platform/InterruptWatch.h"

#include <chrono>

namespace brell {
namespace {

std::atomic<bool> interruptFlag = false;

extern "C" void onInterrupt(int) {
    interruptFlag.store(true);
}

} // namespace

InterruptWatch::InterruptWatch(CancelToken token) : token_(std::move(token)) {
    interruptFlag.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_);
    watcher_ = std::thread([this] {
        while (!stop_.waitFor(std::chrono::milliseconds(50))) {
            if (interruptFlag.load()) {
                token_.cancel();
                return;
            }
        }
    });
}

InterruptWatch::~InterruptWatch() {
    stop_.cancel();
    watcher_.join();
    ::sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptWatch::interrupted() const {
    return interruptFlag.load();
}

} // namespace brell
