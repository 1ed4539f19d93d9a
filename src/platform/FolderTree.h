#pragma once
// Whole folders: listing what a folder holds and removing a folder with everything in
// it. The picture folders of Visual mode are swept and copied with these. Free
// functions over paths; safe from any thread as far as the file system is. Failures
// throw FileError naming the path and the reason, except where stated.
#include <string>
#include <vector>

#include "util/Date.h"

namespace brell::FolderTree {

// One entry of a folder (never "." or "..").
struct Entry {
    std::string name;
    bool isFolder = false;
    Date modifiedAt = 0; // seconds since 1970
};

// The entries of `folder` sorted by name; nothing when the folder does not exist.
std::vector<Entry> entries(const std::string& folder);

// Removes `path` with everything below it; a missing path is not an error. Returns
// whether anything was removed.
bool removeAll(const std::string& path);

} // namespace brell::FolderTree
