#include "support/TestSupport.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Fd.h"
#include "platform/FileSystem.h"

extern char** environ;

namespace brell::test {

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/brell-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string fixturePath(const std::string& relativePath) {
    return std::string(BRELL_TEST_DATA) + "/" + relativePath;
}

std::string fixture(const std::string& relativePath) {
    auto bytes = FileSystem::read(fixturePath(relativePath));
    if (!bytes) {
        throw std::runtime_error("missing fixture " + relativePath);
    }
    return *bytes;
}

std::string binary(const std::string& name) {
    return std::string(BRELL_BIN_DIR) + "/" + name;
}

ProcessResult run(const std::string& program, const ProcessOptions& options) {
    int in[2];
    int out[2];
    int err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    Fd inRead(in[0]), inWrite(in[1]), outRead(out[0]), outWrite(out[1]), errRead(err[0]), errWrite(err[1]);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        std::string key = entry.substr(0, entry.find('='));
        bool drop = options.setEnv.count(key) > 0;
        for (const auto& u : options.unsetEnv) {
            drop = drop || u == key;
        }
        if (!drop) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& [k, v] : options.setEnv) {
        envStrings.push_back(k + "=" + v);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::dup2(inRead.get(), 0);
        ::dup2(outWrite.get(), 1);
        ::dup2(errWrite.get(), 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    inRead.reset();
    outWrite.reset();
    errWrite.reset();

    ProcessResult result;
    std::string_view pending = options.input;
    if (pending.empty()) {
        inWrite.reset();
    }
    ::signal(SIGPIPE, SIG_IGN);
    while (outRead || errRead) {
        std::vector<pollfd> fds;
        if (outRead) {
            fds.push_back({outRead.get(), POLLIN, 0});
        }
        if (errRead) {
            fds.push_back({errRead.get(), POLLIN, 0});
        }
        if (inWrite) {
            fds.push_back({inWrite.get(), POLLOUT, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("poll failed");
        }
        for (const auto& p : fds) {
            if (p.revents == 0) {
                continue;
            }
            if (inWrite && p.fd == inWrite.get()) {
                ssize_t n = ::write(p.fd, pending.data(), std::min<std::size_t>(pending.size(), 65536));
                if (n < 0) {
                    inWrite.reset(); // the child stopped reading
                    continue;
                }
                pending.remove_prefix(static_cast<std::size_t>(n));
                if (pending.empty()) {
                    inWrite.reset();
                }
                continue;
            }
            char buffer[65536];
            ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            bool isOut = outRead && p.fd == outRead.get();
            if (n <= 0) {
                (isOut ? outRead : errRead).reset();
            } else {
                (isOut ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    inWrite.reset();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string frame(const std::string& body) {
    auto length = static_cast<uint32_t>(body.size());
    std::string out(reinterpret_cast<const char*>(&length), 4);
    return out + body;
}

std::vector<std::string> unframe(const std::string& bytes, std::string* rest) {
    std::vector<std::string> bodies;
    std::size_t at = 0;
    while (bytes.size() - at >= 4) {
        uint32_t length = 0;
        std::memcpy(&length, bytes.data() + at, 4);
        if (bytes.size() - at - 4 < length) {
            break;
        }
        bodies.push_back(bytes.substr(at + 4, length));
        at += 4 + length;
    }
    if (rest != nullptr) {
        *rest = bytes.substr(at);
    }
    return bodies;
}

} // namespace brell::test
