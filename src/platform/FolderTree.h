#pragma once
// Whole folder trees: listing their files, copying, swapping two of them in one step and
// removing one. Used to keep an extension's folder equal to its source copy, where a
// reader must see the old tree or the new one, never a mix, and to sweep and copy the
// picture folders of Visual mode. Symbolic links are never
// followed: a link inside a tree is listed as what it is and copied as a link. Failures
// throw FileError naming the path and the system's reason. Thread-safe (no state).
#include <optional>
#include <string>
#include <vector>

#include "util/Date.h"

namespace brell::FolderTree {

// The regular files under `folder`, at any depth, hidden ones included, as paths relative
// to it that begin with "/" ("/manifest.json", "/icons/16.png"). Entries whose kind
// cannot be read are skipped. Nothing when `folder` or a folder inside it cannot be
// listed.
std::optional<std::vector<std::string>> regularFiles(const std::string& folder);

// The names directly inside `folder` (without "." and ".."); nothing when it cannot be
// listed or is not a folder.
std::optional<std::vector<std::string>> names(const std::string& folder);

// Copies the tree at `from` to `to`, which must not exist: folders are created 0700,
// files 0600 with the same bytes, links as links.
void copy(const std::string& from, const std::string& to);

// Puts the item at `a` in the stead of the one at `b` and the other way round, as one
// step where the file system can (Linux renameat2 RENAME_EXCHANGE, macOS renamex_np
// RENAME_SWAP), else by exchangeByRenames.
void exchange(const std::string& a, const std::string& b);

// The exchange by three renames, for file systems without an atomic one: `b` is moved
// aside, `a` moved to `b`, the set-aside item to `a`. When the second step fails `b` is
// moved back before the error is thrown, so `b` is never left missing.
void exchangeByRenames(const std::string& a, const std::string& b);

// Removes `path` and everything under it; a missing path is not an error.
void remove(const std::string& path);

// One entry of a folder (never "." or "..").
struct Entry {
    std::string name;
    bool isFolder = false;
    Date modifiedAt = 0; // seconds since 1970
};

// The entries of `folder` sorted by name, links listed as what they are; empty when the
// folder does not exist.
std::vector<Entry> entries(const std::string& folder);

// Removes `path` with everything below it; a missing path is not an error. Returns
// whether anything was removed.
bool removeAll(const std::string& path);

} // namespace brell::FolderTree
