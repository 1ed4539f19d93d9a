#pragma once
// File operations with the permissions BRELL keeps on everything it writes: folders
// 0700, files 0600. Whole-file writes are atomic: a reader sees the old file or the
// new one, never a torn one. Failures throw FileError naming the path and the reason.
#include <optional>
#include <string>
#include <string_view>

namespace brell::FileSystem {

// Creates `path` and its missing parents with `mode`; an existing folder is fine.
void makeFolders(const std::string& path, unsigned mode = 0700);

// The folder part of a path ("." when it has none).
std::string parentFolder(const std::string& path);

// The last component of a path.
std::string fileName(const std::string& path);

// Writes `bytes` to a temporary file beside `path` (0600), flushes it to disk and
// renames it over `path`. The containing folder is created (0700) when missing.
void writeAtomically(const std::string& path, std::string_view bytes);

// The whole file, or nothing when it does not exist. Other failures throw.
std::optional<std::string> read(const std::string& path);

// Appends `bytes` with one write(2) to a file opened with O_APPEND (created 0600),
// so concurrent appenders of lines shorter than the pipe buffer never interleave.
void append(const std::string& path, std::string_view bytes);

bool exists(const std::string& path);
bool isFolder(const std::string& path);

// The permission bits of a file or folder, or nothing when it does not exist.
std::optional<unsigned> permissions(const std::string& path);
void setPermissions(const std::string& path, unsigned mode);

// Renames; throws when it fails.
void move(const std::string& from, const std::string& to);

// Removes a file; a missing file is not an error. Returns whether a file was removed.
bool remove(const std::string& path);

// The real, absolute path with links resolved, or nothing when it does not exist.
std::optional<std::string> realPath(const std::string& path);

} // namespace brell::FileSystem
