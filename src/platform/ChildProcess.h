#pragma once
// Runs one program as a child process to completion: arguments, working folder and the
// exact environment chosen by the caller, bytes on standard input, both output streams
// gathered as data arrives (with poll(), so a child that writes megabytes never blocks
// on a full pipe while we wait for it), and a deadline and cancellation that terminate
// it. Every descriptor is O_CLOEXEC and owned by an Fd, so no other child inherits it.
//
// The child runs in its own process group; terminating it sends SIGTERM to the group,
// then SIGKILL if it is still there a moment later, and always reaps it, so nothing of
// it is left running when run() returns.
//
// Thread-safe: each run owns its own pipes and process. run() throws StartError when
// the pipes cannot be made or the program cannot be started; what the program does is
// reported in the Result, never thrown.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CancelToken.h"
#include "util/Error.h"

namespace brell {

class ChildProcess {
public:
    class StartError : public Error {
    public:
        explicit StartError(const std::string& what) : Error(what) {}
    };

    struct Options {
        std::string program;                                           // an absolute path
        std::vector<std::string> args;                                 // after the program name
        std::optional<std::string> workingFolder;                      // nothing: ours
        std::optional<std::map<std::string, std::string>> environment; // nothing: ours
        std::string input;                                             // written, then standard input is closed
        bool keepErrors = true;                                        // false: standard error to the null device
        double timeoutSeconds = 0;                                     // 0: no deadline
        std::chrono::milliseconds pollInterval{50}; // how often the deadline and the token are checked
    };

    enum class Ending {
        exited,    // on its own; exitStatus holds its status
        signalled, // killed by a signal it did not get from us; signal holds it
        timedOut,  // terminated by us at the deadline
        cancelled, // terminated by us because the token was cancelled
    };

    struct Result {
        Ending ending = Ending::exited;
        int exitStatus = -1;
        int signal = 0;
        std::string out;
        std::string err;
    };

    // Each stream keeps at most this many bytes; the rest is read and dropped, so a
    // runaway child cannot exhaust memory.
    static constexpr std::size_t outputLimit = 64u << 20;

    static Result run(const Options& options, const CancelToken& cancel);

    // This process's environment.
    static std::map<std::string, std::string> currentEnvironment();

    // True when `path` is a regular file this process may execute.
    static bool isExecutable(const std::string& path);
};

} // namespace brell
