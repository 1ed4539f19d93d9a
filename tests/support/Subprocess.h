#pragma once
// The one way tests and benchmarks run a program: a child with pipes on its standard
// streams, started with arguments, changes to the environment and, optionally, a
// working folder and a file for its standard error.
//
// `Subprocess` is the running child, for conversations (one frame in, one frame out)
// and for killing it mid-stream; `run` runs a program to completion with a timeout and
// gives back its status and both outputs. A Subprocess is owned by one thread; its
// destructor kills (SIGKILL) and reaps a child still running. Failures to start throw
// std::runtime_error; a child that cannot exec exits with status 127.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "platform/Fd.h"

namespace brell::test {

struct ProcessOptions {
    std::vector<std::string> args;             // after the program name
    std::map<std::string, std::string> setEnv; // added to or replacing the environment
    std::vector<std::string> unsetEnv;         // removed from the environment
    std::string input;                         // `run`: written to standard input, then closed
    std::optional<std::string> workingFolder;  // the child's current folder
    std::optional<std::string> errorFile;      // standard error to this file instead of a pipe
    std::chrono::milliseconds timeout{120000}; // `run`: the child is killed after this long
};

struct ProcessResult {
    int exitStatus = -1; // -1 when the process was killed by a signal
    int signal = 0;      // the signal that ended it, or 0
    bool timedOut = false;
    std::string out;
    std::string err;
};

class Subprocess {
public:
    Subprocess(const std::string& program, const ProcessOptions& options);
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    pid_t pid() const { return pid_; }

    // Writes all of `bytes` to the child's standard input, draining its outputs while
    // the pipe is full (unless `drainOutputs` is off: then write() touches nothing but
    // the input, and may run on a thread of its own while another reads); false when
    // the child stopped reading or `wait` passed first.
    bool write(std::string_view bytes, std::chrono::milliseconds wait = std::chrono::minutes(2),
               bool drainOutputs = true);
    void closeInput();

    // Appends what the child writes to standard output within `wait` to `into`, returning
    // as soon as something arrived; false at end of output or when nothing came in time.
    bool readSome(std::string& into, std::chrono::milliseconds wait);
    // Exactly `count` bytes of standard output, or nothing when the output ends first or
    // `wait` passes.
    std::optional<std::string> readExactly(std::size_t count, std::chrono::milliseconds wait);
    // One native-messaging frame's body, or nothing (see readExactly).
    std::optional<std::string> readFrame(std::chrono::milliseconds wait);

    // Bytes of standard output read from the pipe but not yet handed out.
    std::size_t pendingOutput() const { return out_.size(); }

    // Sends `signal` to a child still running.
    void kill(int signal);
    // Waits for the child to end and returns its result; `out` and `err` hold whatever
    // was not read yet (standard error only when it went to a pipe).
    ProcessResult wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);

private:
    // Reads what is ready on the output pipes; false when both are at end.
    bool pump(std::chrono::milliseconds wait, bool stopAtOutput);

    pid_t pid_ = -1;
    Fd input_;
    Fd output_;
    Fd error_;
    std::string out_;
    std::string err_;
    std::optional<int> status_;
};

// Runs `program` to completion (or until `options.timeout`, when it is killed), feeding
// `options.input` and gathering both output streams.
ProcessResult run(const std::string& program, const ProcessOptions& options);

} // namespace brell::test
