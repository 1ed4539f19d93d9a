#pragma once
// An owned POSIX file descriptor, closed exactly once when the owner lets go.
// Move-only; moving into an Fd closes the descriptor it held first.
#include <utility>

namespace brell {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    ~Fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes the held descriptor (its close result is ignored: nothing useful can be
    // done about it here) and takes `fd`.
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

} // namespace brell
