#pragma once
// Turns Ctrl-C (SIGINT) into the cancellation of a token while a long call runs, so the
// call ends cleanly (a child process terminated, its folder removed) instead of the
// process dying midway. The handler only sets an atomic flag; a watcher thread turns it
// into cancel(). The previous handler is restored and the watcher joined on
// destruction. One at a time per process; throws nothing.
#include <atomic>
#include <csignal>
#include <thread>

#include "platform/CancelToken.h"

namespace brell {

class InterruptWatch {
public:
    explicit InterruptWatch(CancelToken token);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // True once Ctrl-C was pressed while this watch was installed.
    bool interrupted() const;

private:
    CancelToken token_;
    CancelToken stop_;
    struct sigaction previous_ {};
    std::thread watcher_;
};

} // namespace brell
