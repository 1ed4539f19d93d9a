#include "platform/FolderTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "util/Error.h"

namespace brell::FolderTree {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw FileError("failed to " + what + " " + path + ": " + std::strerror(error));
}

struct CloseDir {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

Date modified(const struct stat& st) {
#ifdef __APPLE__
    return static_cast<Date>(st.st_mtimespec.tv_sec) + static_cast<Date>(st.st_mtimespec.tv_nsec) / 1e9;
#else
    return static_cast<Date>(st.st_mtim.tv_sec) + static_cast<Date>(st.st_mtim.tv_nsec) / 1e9;
#endif
}

} // namespace

std::vector<Entry> entries(const std::string& folder) {
    std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
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
