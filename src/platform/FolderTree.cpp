#include "platform/FolderTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "util/Error.h"

namespace brell::FolderTree {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error = errno) {
    throw FileError("failed to " + what + " " + path + ": " + std::strerror(error));
}

struct DirCloser {
    void operator()(DIR* d) const noexcept { (void)::closedir(d); } // nothing to do when closing fails
};
using Dir = std::unique_ptr<DIR, DirCloser>;

bool listInto(const std::string& folder, const std::string& relative, std::vector<std::string>& out) {
    Dir dir(::opendir(folder.c_str()));
    if (!dir) {
        return false;
    }
    while (true) {
        errno = 0;
        dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno == 0;
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!listInto(path, relative + "/" + name, out)) {
                return false;
            }
        } else if (S_ISREG(st.st_mode)) {
            out.push_back(relative + "/" + name);
        }
    }
}

void copyFile(const std::string& from, const std::string& to) {
    auto bytes = FileSystem::read(from);
    if (!bytes) {
        fail("read", from, ENOENT);
    }
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail("create", to);
    }
    std::string_view rest(*bytes);
    while (!rest.empty()) {
        ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int error = errno;
            ::close(fd);
            fail("write", to, error);
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fsync(fd) != 0) {
        int error = errno;
        ::close(fd);
        fail("flush", to, error);
    }
    if (::close(fd) != 0) {
        fail("close", to);
    }
}

std::string asideName(const std::string& path) {
    std::random_device random;
    return path + ".aside-" + std::to_string(::getpid()) + "-" + std::to_string(random());
}

Date modified(const struct stat& st) {
#ifdef __APPLE__
    return static_cast<Date>(st.st_mtimespec.tv_sec) + static_cast<Date>(st.st_mtimespec.tv_nsec) / 1e9;
#else
    return static_cast<Date>(st.st_mtim.tv_sec) + static_cast<Date>(st.st_mtim.tv_nsec) / 1e9;
#endif
}

} // namespace

std::optional<std::vector<std::string>> regularFiles(const std::string& folder) {
    std::vector<std::string> out;
    if (!listInto(folder, "", out)) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::string>> names(const std::string& folder) {
    Dir dir(::opendir(folder.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    while (true) {
        errno = 0;
        dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno == 0 ? std::optional(out) : std::nullopt;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            out.push_back(name);
        }
    }
}

void copy(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        fail("copy", from);
    }
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0) {
            fail("read link", from);
        }
        target.resize(static_cast<std::size_t>(n));
        if (::symlink(target.c_str(), to.c_str()) != 0) {
            fail("create link", to);
        }
        return;
    }
    if (S_ISREG(st.st_mode)) {
        copyFile(from, to);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        return; // sockets, pipes and devices have no place in a copied tree
    }
    if (::mkdir(to.c_str(), 0700) != 0) {
        fail("create folder", to);
    }
    auto inside = names(from);
    if (!inside) {
        fail("list", from);
    }
    for (const auto& name : *inside) {
        copy(from + "/" + name, to + "/" + name);
    }
}

void exchange(const std::string& a, const std::string& b) {
#if defined(__APPLE__)
    if (::renamex_np(a.c_str(), b.c_str(), RENAME_SWAP) == 0) {
        return;
    }
#else
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
        return;
    }
#endif
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) {
        fail("swap", a + " with " + b);
    }
    exchangeByRenames(a, b);
}

void exchangeByRenames(const std::string& a, const std::string& b) {
    std::string aside = asideName(b);
    if (::rename(b.c_str(), aside.c_str()) != 0) {
        fail("move", b + " to " + aside);
    }
    if (::rename(a.c_str(), b.c_str()) != 0) {
        int error = errno;
        (void)::rename(aside.c_str(), b.c_str()); // the old item back where it was
        fail("move", a + " to " + b, error);
    }
    if (::rename(aside.c_str(), a.c_str()) != 0) {
        fail("move", aside + " to " + a);
    }
}

void remove(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return;
        }
        fail("remove", path);
    }
    if (S_ISDIR(st.st_mode)) {
        auto inside = names(path);
        if (!inside) {
            fail("list", path);
        }
        for (const auto& name : *inside) {
            remove(path + "/" + name);
        }
        if (::rmdir(path.c_str()) != 0) {
            fail("remove", path);
        }
        return;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        fail("remove", path);
    }
}

std::vector<Entry> entries(const std::string& folder) {
    Dir dir(::opendir(folder.c_str()));
    if (!dir) {
        if (errno == ENOENT) {
            return {};
        }
        fail("list", folder, errno);
    }
    std::vector<Entry> out;
    errno = 0;
    while (const dirent* item = ::readdir(dir.get())) {
        std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        // Never follow a link: a link is listed as what it is, not what it points at.
        if (::lstat((folder + "/" + name).c_str(), &st) != 0) {
            if (errno == ENOENT) {
                continue; // removed meanwhile
            }
            fail("read", folder + "/" + name, errno);
        }
        out.push_back(Entry{name, S_ISDIR(st.st_mode), modified(st)});
        errno = 0;
    }
    if (errno != 0) {
        fail("list", folder, errno);
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return out;
}

bool removeAll(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        fail("remove", path, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        for (const auto& entry : entries(path)) {
            removeAll(path + "/" + entry.name);
        }
        if (::rmdir(path.c_str()) != 0 && errno != ENOENT) {
            fail("remove", path, errno);
        }
        return true;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        fail("remove", path, errno);
    }
    return true;
}

} // namespace brell::FolderTree
