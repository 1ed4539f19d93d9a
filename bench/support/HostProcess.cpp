#include "support/HostProcess.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace brell::bench {
namespace {

void writeAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("the host stopped reading");
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::string readExactly(int fd, std::size_t count) {
    std::string out(count, '\0');
    std::size_t have = 0;
    while (have < count) {
        ssize_t n = ::read(fd, out.data() + have, count - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("the host closed its output");
        }
        have += static_cast<std::size_t>(n);
    }
    return out;
}

} // namespace

std::string binary(const std::string& name) {
    return std::string(BRELL_BIN_DIR) + "/" + name;
}

HostProcess::HostProcess(const std::string& databasePath) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::string program = binary("brell-memory-host");
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::setenv("BRELL_MEMORY_DB", databasePath.c_str(), 1);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toHost_.reset(in[1]);
    fromHost_.reset(out[0]);
}

HostProcess::~HostProcess() {
    toHost_.reset();
    fromHost_.reset();
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::string HostProcess::roundTrip(const std::string& body) {
    auto length = static_cast<uint32_t>(body.size());
    std::string frame(reinterpret_cast<const char*>(&length), 4);
    writeAll(toHost_.get(), frame + body);
    std::string header = readExactly(fromHost_.get(), 4);
    uint32_t replyLength = 0;
    std::memcpy(&replyLength, header.data(), 4);
    return readExactly(fromHost_.get(), replyLength);
}

} // namespace brell::bench
