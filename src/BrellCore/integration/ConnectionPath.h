#pragma once
// Where an assistant's registered connector command points, compared with the running
// copy of BRELL. A plain value, equal when the case and its fields are equal. Throws
// nothing.
#include <string>

namespace brell {

struct ConnectionPath {
    enum class Kind {
        stale,    // another path: `oldPath` as written, `exists` whether a file is there
        notFound, // no command registered, or the configuration is unreadable
        current,  // this copy
    };

    Kind kind = Kind::notFound;
    std::string oldPath;
    bool exists = false;

    static ConnectionPath stale(std::string oldPath, bool exists) { return {Kind::stale, std::move(oldPath), exists}; }
    static ConnectionPath notFound() { return {Kind::notFound, "", false}; }
    static ConnectionPath current() { return {Kind::current, "", false}; }

    bool isStale() const { return kind == Kind::stale; }

    bool operator==(const ConnectionPath&) const = default;
};

} // namespace brell
