#pragma once
// The base of every error BRELL throws. It is never thrown itself: each module throws
// its own leaf type (SQLiteDB::DBError, TranscriptError, HostProtocol::AckError, ...),
// so callers can catch exactly what they handle and let the rest reach a boundary.
#include <stdexcept>
#include <string>

namespace brell {

class Error : public std::runtime_error {
protected:
    explicit Error(const std::string& what) : std::runtime_error(what) {}
};

// A file-system failure: what was attempted, on which path, and the system's reason.
class FileError : public Error {
public:
    explicit FileError(const std::string& what) : Error(what) {}
};

} // namespace brell
