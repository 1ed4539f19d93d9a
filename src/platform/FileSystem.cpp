#include "platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Fd.h"
#include "util/Error.h"

namespace brell::FileSystem {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error = errno) {
    throw FileError("failed to " + what + " " + path + ": " + std::strerror(error));
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Unique among processes (the pid) and within one (the counter), with random letters so
// a file left behind by a killed writer of an earlier process is not reused by chance.
std::string temporaryName(const std::string& folder, const std::string& name) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    static constexpr char chars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s = std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-";
    for (int i = 0; i < 6; ++i) {
        s += chars[random() % 36];
    }
    return folder + "/." + name + "." + s + ".tmp";
}

} // namespace

void makeFolders(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return;
    }
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        std::string part = path.substr(0, at);
        if (part.empty()) {
            continue;
        }
        if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            fail("create folder", part);
        }
    }
    if (!isFolder(path)) {
        fail("create folder", path, ENOTDIR);
    }
}

std::string parentFolder(const std::string& path) {
    auto at = path.find_last_of('/');
    if (at == std::string::npos) {
        return ".";
    }
    if (at == 0) {
        return "/";
    }
    return path.substr(0, at);
}

std::string fileName(const std::string& path) {
    auto at = path.find_last_of('/');
    return at == std::string::npos ? path : path.substr(at + 1);
}

void writeAtomically(const std::string& path, std::string_view bytes) {
    std::string folder = parentFolder(path);
    makeFolders(folder);
    std::string temporary;
    Fd fd;
    for (int attempt = 0; attempt < 8 && !fd; ++attempt) {
        temporary = temporaryName(folder, fileName(path));
        fd.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd && errno != EEXIST) {
            break;
        }
    }
    if (!fd) {
        fail("create", temporary);
    }
    try {
        writeAll(fd.get(), bytes, temporary);
        if (::fchmod(fd.get(), 0600) != 0 || ::fsync(fd.get()) != 0) {
            fail("flush", temporary);
        }
        fd.reset();
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            fail("write", path);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        (void)::fsync(dir.get());
    }
}

std::optional<std::string> read(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        fail("read", path);
    }
    std::string out;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("read", path);
        }
        if (n == 0) {
            return out;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

void append(const std::string& path, std::string_view bytes) {
    makeFolders(parentFolder(path));
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!fd) {
        fail("open", path);
    }
    ssize_t n = 0;
    do {
        n = ::write(fd.get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        fail("append to", path);
    }
    if (static_cast<std::size_t>(n) != bytes.size()) {
        writeAll(fd.get(), bytes.substr(static_cast<std::size_t>(n)), path);
    }
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<unsigned> permissions(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned>(st.st_mode & 07777);
}

void setPermissions(const std::string& path, unsigned mode) {
    if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) {
        fail("set permissions of", path);
    }
}

void move(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        fail("move", from + " to " + to);
    }
}

bool remove(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    fail("remove", path);
}

std::optional<std::string> realPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer);
}

} // namespace brell::FileSystem
