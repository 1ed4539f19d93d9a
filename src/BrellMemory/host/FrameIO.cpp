#include "BrellMemory/host/FrameIO.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace brell::FrameIO {

std::optional<std::string> readExactly(int fd, int64_t count) {
    if (count < 1) {
        return std::string();
    }
    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::size_t have = 0;
    while (have < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        have += static_cast<std::size_t>(n);
    }
    return bytes;
}

bool write(int fd, const Json& message) {
    auto body = JsonText::compact(message);
    if (!body) {
        return true;
    }
    auto length = static_cast<uint32_t>(body->size());
    std::string frame(sizeof length + body->size(), '\0');
    std::memcpy(frame.data(), &length, sizeof length);
    std::memcpy(frame.data() + sizeof length, body->data(), body->size());
    // One write; a blocking pipe takes it whole unless a signal interrupts it, and then
    // the rest follows at once so the reader never sees a torn reply.
    std::size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = ::write(fd, frame.data() + sent, frame.size() - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace brell::FrameIO
