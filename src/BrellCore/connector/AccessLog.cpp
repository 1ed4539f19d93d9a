#include "BrellCore/connector/AccessLog.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Environment.h"
#include "platform/Fd.h"
#include "platform/FileSystem.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::AccessLog {
namespace {

// True when the file ends in the middle of a line: an earlier write was cut short.
bool endsInsideALine(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0) {
        return false;
    }
    char last = '\n';
    ssize_t n = 0;
    do {
        n = ::pread(fd, &last, 1, st.st_size - 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 && last != '\n';
}

// One write(2) for the whole line, so that concurrent appenders never interleave;
// the loop only finishes a write the system cut short.
void writeLine(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

std::string fileURL(const std::string& boardURL) {
    return Environment::join(FileSystem::parentFolder(boardURL), "assistant-access-log.jsonl");
}

std::optional<std::string> line(const AccessLogEntry& entry) {
    auto compact = JsonText::compact(entry.json());
    if (!compact) {
        return std::nullopt;
    }
    // A "/" can only occur inside a string in JSON text, so escaping every one escapes
    // exactly the slashes in strings, as the log's other writers do.
    std::string out;
    out.reserve(compact->size() + 8);
    for (char c : *compact) {
        if (c == '/') {
            out += "\\/";
        } else {
            out += c;
        }
    }
    out += '\n';
    return out;
}

void append(const AccessLogEntry& entry, const std::string& fileURL) {
    auto bytes = line(entry);
    if (!bytes) {
        return;
    }
    try {
        FileSystem::makeFolders(FileSystem::parentFolder(fileURL));
    } catch (const Error&) {
        // The open below reports the same problem by failing.
    }
    // O_CREAT rather than a separate whole-file write for a new log: two first
    // appenders would otherwise each write a one-line file and one line would be lost,
    // and a log that merely refuses writing would be replaced. Read access is only for
    // looking at the last byte.
    Fd fd(::open(fileURL.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!fd) {
        return;
    }
    // Appenders take turns (the lock goes with the descriptor, so a writer that dies
    // lets go of it) only so that the last byte seen is the end of a finished line or
    // of one cut short for good, never of another appender's line in flight. Without
    // the lock the line is still written, just without that check.
    int locked = 0;
    do {
        locked = ::flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0 && endsInsideALine(fd.get())) {
        bytes->insert(bytes->begin(), '\n');
    }
    writeLine(fd.get(), *bytes);
}

std::vector<AccessLogEntry> recent(const std::string& fileURL, std::size_t limit) {
    if (limit == 0) {
        return {};
    }
    std::optional<std::string> text;
    try {
        text = FileSystem::read(fileURL);
    } catch (const Error&) {
        return {};
    }
    if (!text) {
        return {};
    }
    // From the end backwards until `limit` entries decoded. Each line is checked on its
    // own, so one torn or foreign line (even one cut inside a UTF-8 sequence) costs only
    // itself.
    std::vector<AccessLogEntry> newestFirst;
    std::string_view rest(*text);
    while (!rest.empty() && newestFirst.size() < limit) {
        std::size_t cut = rest.find_last_of('\n');
        std::string_view piece = cut == std::string_view::npos ? rest : rest.substr(cut + 1);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(0, cut);
        if (piece.empty()) {
            continue;
        }
        auto json = JsonText::parse(piece);
        if (!json) {
            continue;
        }
        if (auto entry = AccessLogEntry::decode(*json)) {
            newestFirst.push_back(std::move(*entry));
        }
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

void clear(const std::string& fileURL) {
    try {
        FileSystem::remove(fileURL);
    } catch (const Error&) {
        // Clearing is best effort by design.
    }
}

} // namespace brell::AccessLog
