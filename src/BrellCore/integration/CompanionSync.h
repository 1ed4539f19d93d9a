#pragma once
// Keeps the folder the browser loads the companion extension from equal to the source
// copy this copy of BRELL carries: installs it the first time, swaps the whole folder for
// a fresh copy when it differs, leaves it alone when it matches, and never touches a
// folder holding somebody else's extension. The folder is only ever replaced whole, by
// one exchange, so the browser sees the old extension or the new one; an interrupted
// sync may leave a hidden staging folder beside it, which the next sync removes.
// Stateless; throws nothing (failures are Result values).
#include <functional>
#include <optional>
#include <string>

namespace brell::CompanionSync {

struct Result {
    enum class Kind {
        unchanged,     // the installed files equal the source; `to` is the source version
        installed,     // the folder had no extension and now holds the source copy; `to`
        updated,       // an older or different copy of ours was swapped; `from` ("?" if none), `to`
        failed,        // copying or swapping failed; `message` is the system's description
        sourceMissing, // no source copy, or no readable version or fingerprint in it
        foreign,       // the folder holds files that are not this extension; untouched
    };

    Kind kind = Kind::sourceMissing;
    std::string from;
    std::string to;
    std::string message;

    static Result unchanged(std::string version) { return {Kind::unchanged, "", std::move(version), ""}; }
    static Result installed(std::string version) { return {Kind::installed, "", std::move(version), ""}; }
    static Result updated(std::string from, std::string to) {
        return {Kind::updated, std::move(from), std::move(to), ""};
    }
    static Result failed(std::string message) { return {Kind::failed, "", "", std::move(message)}; }
    static Result sourceMissing() { return {}; }
    static Result foreign() { return {Kind::foreign, "", "", ""}; }

    // True for updated only: files the browser had loaded were swapped.
    bool changedFiles() const { return kind == Kind::updated; }

    bool operator==(const Result&) const = default;
};

// The file operations a sync performs, replaceable in tests. Each throws FileError.
struct Steps {
    std::function<void(const std::string& from, const std::string& to)> copy;       // a whole tree
    std::function<void(const std::string& staged, const std::string& folder)> swap; // one exchange
    std::function<void(const std::string& from, const std::string& to)> move;       // a rename
};
// The real ones: FolderTree::copy, FolderTree::exchange and a rename.
Steps systemSteps();

// home + "Library/Application Support/BRELL/Companion/chrome".
std::string defaultFolder(const std::string& home);

// Makes `folder` equal to `source` (see Result). Nothing is written for unchanged,
// sourceMissing and foreign, except that hidden folders an interrupted sync or removal
// left beside `folder` (named by those steps, with a UUID) are removed first.
Result sync(const std::optional<std::string>& source, const std::string& folder, const Steps& steps = systemSteps());

// What sync() would return, without writing anything (failed never comes from here).
Result plan(const std::optional<std::string>& source, const std::string& folder);

// The "version" text of folder/manifest.json.
std::optional<std::string> manifestVersion(const std::string& folder);

// version + "-" + SHA-256 over every regular file's relative path and bytes (".DS_Store"
// excluded), so two folders with equal fingerprints hold the same files; dates and
// permissions do not count. Nothing without a version or when a file cannot be read.
std::optional<std::string> fingerprint(const std::string& folder);

// Whether `folder` may be replaced by `source`: it does not exist, or it holds no
// readable manifest and nothing but ".DS_Store", or its manifest's "key" matches the
// source's (both absent counts as matching). A path that is not a folder, or a folder
// that cannot be listed, is not ours.
bool isOurs(const std::string& folder, const std::string& source);

// What remove() did with the installed folder.
struct Removal {
    enum class Kind {
        removed, // the folder was ours and is gone
        absent,  // there was nothing at the folder's path
        foreign, // the folder is not ours (isOurs); untouched
        failed,  // removing failed; `message` is the system's description
    };
    Kind kind = Kind::absent;
    std::string message;
    bool operator==(const Removal&) const = default;
};

// Takes away the installed folder when it is ours by the rule sync() uses (isOurs; with
// no source copy only a folder without a "key" can match, as with any keyless source).
// The folder is first renamed to a hidden sibling and then removed, so the browser never
// loads half an extension; a removal that fails half-way leaves that hidden sibling. A
// symbolic link in the folder's stead is removed itself, never what it points at.
Removal remove(const std::optional<std::string>& source, const std::string& folder);

// The identifier Chrome gives an unpacked extension whose manifest "key" is `key`
// (Base64 of its public key): 32 letters a–p; nothing when `key` is not Base64.
std::optional<std::string> extensionID(const std::string& key);

} // namespace brell::CompanionSync
