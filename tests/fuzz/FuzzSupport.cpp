#include "FuzzSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace brell::fuzz {

void fail(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    }
    std::abort();
}

namespace {

// Removes the folder with everything in it when the process ends normally.
struct ScratchFolder {
    std::string path;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

const std::string& scratchFolder() {
    static const ScratchFolder folder = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/brell-fuzz-XXXXXX";
        check(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        return ScratchFolder{pattern};
    }();
    return folder.path;
}

namespace {

void writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        check(n > 0, "a file takes the input");
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

void writeFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "a scratch file opens", path);
    writeAll(fd, bytes);
    ::close(fd);
}

int memoryFile(std::string_view bytes) {
    int fd = ::memfd_create("brell-fuzz", MFD_CLOEXEC);
    check(fd >= 0, "memfd_create works");
    writeAll(fd, bytes);
    check(::lseek(fd, 0, SEEK_SET) == 0, "an in-memory file rewinds");
    return fd;
}

std::string contents(int fd) {
    check(::lseek(fd, 0, SEEK_SET) == 0, "an in-memory file rewinds");
    std::string all;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        check(n >= 0, "an in-memory file reads back");
        if (n == 0) {
            return all;
        }
        all.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace brell::fuzz
