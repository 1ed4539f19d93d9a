#include "support/Subprocess.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brell::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environmentFor(const ProcessOptions& options) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        std::string key = entry.substr(0, entry.find('='));
        bool drop = options.setEnv.count(key) > 0;
        for (const auto& name : options.unsetEnv) {
            drop = drop || name == key;
        }
        if (!drop) {
            entries.push_back(std::move(entry));
        }
    }
    for (const auto& [key, value] : options.setEnv) {
        entries.push_back(key + "=" + value);
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (auto& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

int remainingMs(Clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::max<int64_t>(left, 0));
}

// Fills `result` from a wait status.
void decode(int status, ProcessResult& result) {
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else {
        result.exitStatus = -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
}

} // namespace

Subprocess::Subprocess(const std::string& program, const ProcessOptions& options) {
    // A child that stops reading must not kill the parent writing to it.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    int err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
    }
    Fd inRead(in[0]), outWrite(out[1]), errWrite(err[1]);
    input_.reset(in[1]);
    output_.reset(out[0]);
    // Writes never block: write() drains the child's outputs while its input is full.
    ::fcntl(input_.get(), F_SETFL, ::fcntl(input_.get(), F_GETFL) | O_NONBLOCK);
    error_.reset(err[0]);
    if (options.errorFile) {
        errWrite.reset(::open(options.errorFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        error_.reset();
        if (!errWrite) {
            throw std::runtime_error("cannot open " + *options.errorFile);
        }
    }

    std::vector<std::string> env = environmentFor(options);
    std::vector<char*> envp = pointers(env);
    std::vector<std::string> args{program};
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv = pointers(args);
    const char* folder = options.workingFolder ? options.workingFolder->c_str() : nullptr;

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        ::dup2(inRead.get(), 0);
        ::dup2(outWrite.get(), 1);
        ::dup2(errWrite.get(), 2);
        if (folder != nullptr && ::chdir(folder) != 0) {
            ::_exit(127);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
}

Subprocess::~Subprocess() {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

bool Subprocess::write(std::string_view bytes, std::chrono::milliseconds wait, bool drainOutputs) {
    auto until = Clock::now() + wait;
    while (!bytes.empty() && input_ && remainingMs(until) > 0) {
        ssize_t n = ::write(input_.get(), bytes.data(), std::min<std::size_t>(bytes.size(), 1 << 16));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            // The child is not reading yet: drain its outputs so it can go on, then retry.
            pollfd p{input_.get(), POLLOUT, 0};
            if (::poll(&p, 1, drainOutputs ? 0 : 10) <= 0 && drainOutputs) {
                pump(std::chrono::milliseconds(10), false);
            }
            continue;
        }
        if (n <= 0) {
            input_.reset();
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return bytes.empty();
}

void Subprocess::closeInput() {
    input_.reset();
}

bool Subprocess::pump(std::chrono::milliseconds wait, bool stopAtOutput) {
    auto until = Clock::now() + wait;
    while (output_ || error_) {
        std::vector<pollfd> fds;
        if (output_) {
            fds.push_back({output_.get(), POLLIN, 0});
        }
        if (error_) {
            fds.push_back({error_.get(), POLLIN, 0});
        }
        int ready = ::poll(fds.data(), fds.size(), remainingMs(until));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return true; // nothing more in time
        }
        bool gotOutput = false;
        for (const auto& p : fds) {
            if (p.revents == 0) {
                continue;
            }
            bool isOut = output_ && p.fd == output_.get();
            char buffer[65536];
            ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                (isOut ? output_ : error_).reset();
            } else {
                (isOut ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
                gotOutput = gotOutput || isOut;
            }
        }
        if (stopAtOutput && (gotOutput || !output_)) {
            return static_cast<bool>(output_) || gotOutput;
        }
    }
    return false;
}

bool Subprocess::readSome(std::string& into, std::chrono::milliseconds wait) {
    if (out_.empty()) {
        pump(wait, true);
    }
    if (out_.empty()) {
        return false;
    }
    into += out_;
    out_.clear();
    return true;
}

std::optional<std::string> Subprocess::readExactly(std::size_t count, std::chrono::milliseconds wait) {
    auto until = Clock::now() + wait;
    while (out_.size() < count) {
        if (!output_ || remainingMs(until) == 0) {
            return std::nullopt;
        }
        pump(std::chrono::milliseconds(remainingMs(until)), true);
    }
    std::string bytes = out_.substr(0, count);
    out_.erase(0, count);
    return bytes;
}

std::optional<std::string> Subprocess::readFrame(std::chrono::milliseconds wait) {
    auto until = Clock::now() + wait;
    auto header = readExactly(4, wait);
    if (!header) {
        return std::nullopt;
    }
    uint32_t length = 0;
    std::memcpy(&length, header->data(), sizeof length);
    auto body = readExactly(length, std::chrono::milliseconds(remainingMs(until)));
    if (!body) {
        out_.insert(0, *header); // keep the torn frame for whoever reads next
    }
    return body;
}

void Subprocess::kill(int signal) {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, signal);
    }
}

ProcessResult Subprocess::wait(std::optional<std::chrono::milliseconds> timeout) {
    ProcessResult result;
    auto until = Clock::now() + timeout.value_or(std::chrono::hours(24));
    while (!status_) {
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = status;
            break;
        }
        if (done < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("waitpid failed: ") + std::strerror(errno));
        }
        if (remainingMs(until) == 0) {
            result.timedOut = true;
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            status_ = status;
            break;
        }
        // Drain while waiting, so a child filling a pipe can still finish.
        pump(std::chrono::milliseconds(std::min(remainingMs(until), 20)), false);
    }
    input_.reset();
    // What the child wrote before it ended (a grandchild holding the pipe is not waited for).
    while ((output_ || error_) && pump(std::chrono::milliseconds(result.timedOut ? 100 : 2000), false)) {
    }
    decode(*status_, result);
    result.out = std::move(out_);
    result.err = std::move(err_);
    out_.clear();
    err_.clear();
    return result;
}

ProcessResult run(const std::string& program, const ProcessOptions& options) {
    Subprocess child(program, options);
    auto until = Clock::now() + options.timeout;
    std::string_view pending = options.input;
    if (pending.empty()) {
        child.closeInput();
    }
    if (!pending.empty()) {
        child.write(pending, options.timeout); // false when the child stopped reading
    }
    child.closeInput();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    return child.wait(std::max(left, std::chrono::milliseconds(0)));
}

} // namespace brell::test
