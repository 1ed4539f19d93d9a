#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Fd.h"

extern char** environ;

namespace brell {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a child gets to end after SIGTERM before it is killed.
constexpr auto termGrace = 2s;

std::string failure(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

struct Pipe {
    Fd read;
    Fd write;
};

Pipe makePipe() {
    int fds[2];
#if defined(__APPLE__)
    if (::pipe(fds) != 0) {
        throw ChildProcess::StartError(failure("failed to make a pipe", errno));
    }
    for (int fd : fds) {
        (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#else
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw ChildProcess::StartError(failure("failed to make a pipe", errno));
    }
#endif
    return {Fd(fds[0]), Fd(fds[1])};
}

void setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    (void)::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// posix_spawn's settings, released however the start ends.
struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

// Writes to a pipe whose reader may be gone without raising SIGPIPE in this process:
// the failed write reports EPIPE instead.
ssize_t writeQuietly(int fd, const char* data, std::size_t size) {
#if defined(__APPLE__)
    return ::write(fd, data, size);
#else
    sigset_t pipeSignal;
    sigset_t old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    ssize_t written = ::write(fd, data, size);
    int saved = errno;
    if (written < 0 && saved == EPIPE && !wasPending) {
        const timespec none{};
        (void)sigtimedwait(&pipeSignal, nullptr, &none); // consume the signal our write raised
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = saved;
    return written;
#endif
}

// Reads what the pipe has now into `into` (up to the limit); false at end of file or
// on an error, when the descriptor is done with.
bool drain(Fd& fd, std::string& into) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got > 0) {
            std::size_t room = ChildProcess::outputLimit - std::min(into.size(), ChildProcess::outputLimit);
            into.append(buffer, std::min(room, static_cast<std::size_t>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        fd.reset();
        return false;
    }
}

// SIGTERM to the child's group, SIGKILL after the grace period; reaps the child.
int terminate(pid_t pid) {
    (void)::kill(-pid, SIGTERM);
    (void)::kill(pid, SIGTERM);
    int status = 0;
    const auto until = Clock::now() + termGrace;
    while (Clock::now() < until) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            (void)::kill(-pid, SIGKILL); // whatever it started goes with it
            return status;
        }
        std::this_thread::sleep_for(10ms);
    }
    (void)::kill(-pid, SIGKILL);
    (void)::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

std::map<std::string, std::string> ChildProcess::currentEnvironment() {
    std::map<std::string, std::string> all;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        auto equals = text.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            all.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
        }
    }
    return all;
}

bool ChildProcess::isExecutable(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

ChildProcess::Result ChildProcess::run(const Options& options, const CancelToken& cancel) {
    Pipe input = makePipe();
    Pipe output = makePipe();
    std::optional<Pipe> errors;
    if (options.keepErrors) {
        errors = makePipe();
    }

    SpawnSettings spawn;
    posix_spawn_file_actions_adddup2(&spawn.actions, input.read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, output.write.get(), STDOUT_FILENO);
    if (errors) {
        posix_spawn_file_actions_adddup2(&spawn.actions, errors->write.get(), STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (options.workingFolder) {
        posix_spawn_file_actions_addchdir_np(&spawn.actions, options.workingFolder->c_str());
    }
    // Its own process group (so it and what it starts can be ended together, and a
    // Ctrl-C at the terminal reaches us, who end it cleanly), no blocked signals and
    // default dispositions whatever this process set.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&spawn.attributes, &none);
    posix_spawnattr_setsigdefault(&spawn.attributes, &all);
    posix_spawnattr_setpgroup(&spawn.attributes, 0);
    posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings;
    argStrings.push_back(options.program);
    argStrings.insert(argStrings.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (auto& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    if (options.environment) {
        for (const auto& [name, value] : *options.environment) {
            envStrings.push_back(name + "=" + value);
        }
        for (auto& entry : envStrings) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
    }

    pid_t pid = 0;
    int started = ::posix_spawn(&pid, options.program.c_str(), &spawn.actions, &spawn.attributes, argv.data(),
                                options.environment ? envp.data() : environ);
    if (started != 0) {
        throw StartError(failure("failed to start " + options.program, started));
    }
    input.read.reset();
    output.write.reset();
    if (errors) {
        errors->write.reset();
    }

    Fd in = std::move(input.write);
    Fd out = std::move(output.read);
    Fd err = errors ? std::move(errors->read) : Fd();
    setNonBlocking(in.get());
    setNonBlocking(out.get());
    if (err) {
        setNonBlocking(err.get());
    }
#if defined(__APPLE__)
    (void)::fcntl(in.get(), F_SETNOSIGPIPE, 1);
#endif

    Result result;
    std::size_t written = 0;
    if (options.input.empty()) {
        in.reset();
    }
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(options.timeoutSeconds));
    int status = 0;
    bool exited = false;
    for (;;) {
        pollfd fds[3];
        nfds_t count = 0;
        int inSlot = -1;
        int outSlot = -1;
        int errSlot = -1;
        if (in) {
            inSlot = static_cast<int>(count);
            fds[count++] = {in.get(), POLLOUT, 0};
        }
        if (out) {
            outSlot = static_cast<int>(count);
            fds[count++] = {out.get(), POLLIN, 0};
        }
        if (err) {
            errSlot = static_cast<int>(count);
            fds[count++] = {err.get(), POLLIN, 0};
        }
        int ready = ::poll(fds, count, static_cast<int>(options.pollInterval.count()));
        if (ready > 0) {
            if (inSlot >= 0 && fds[inSlot].revents != 0) {
                ssize_t put = writeQuietly(in.get(), options.input.data() + written, options.input.size() - written);
                if (put > 0) {
                    written += static_cast<std::size_t>(put);
                }
                // A reader that went away takes no more input; the child's own outcome tells the rest.
                if (written == options.input.size() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
                    in.reset();
                }
            }
            if (outSlot >= 0 && fds[outSlot].revents != 0) {
                drain(out, result.out);
            }
            if (errSlot >= 0 && fds[errSlot].revents != 0) {
                drain(err, result.err);
            }
        }
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exited = true;
            break;
        }
        if (cancel.cancelled()) {
            result.ending = Ending::cancelled;
            status = terminate(pid);
            break;
        }
        if (options.timeoutSeconds > 0 && Clock::now() >= deadline) {
            result.ending = Ending::timedOut;
            status = terminate(pid);
            break;
        }
    }
    // What the child wrote before it ended; whatever it left running may hold the pipes
    // open, so this takes only what is there now.
    if (out) {
        drain(out, result.out);
    }
    if (err) {
        drain(err, result.err);
    }
    if (exited) {
        (void)::kill(-pid, SIGKILL); // nothing it started outlives the run
        if (WIFEXITED(status)) {
            result.ending = Ending::exited;
            result.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.ending = Ending::signalled;
            result.signal = WTERMSIG(status);
        }
    }
    return result;
}

} // namespace brell
