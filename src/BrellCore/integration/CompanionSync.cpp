#include "BrellCore/integration/CompanionSync.h"

#include <algorithm>

#include "BrellCore/board/UUID.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "util/Digest.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::CompanionSync {
namespace {

constexpr const char* finderLitter = ".DS_Store";

std::optional<std::string> readFile(const std::string& path) {
    try {
        return FileSystem::read(path);
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<Json> manifest(const std::string& folder) {
    auto bytes = readFile(Environment::join(folder, "manifest.json"));
    if (!bytes) {
        return std::nullopt;
    }
    auto parsed = JsonText::parse(*bytes);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<std::string> key(const std::optional<Json>& m) {
    return m ? JsonText::string(JsonText::member(*m, "key")) : std::nullopt;
}

// The ownership rule of isOurs() with the source's manifest already read.
bool ownedBy(const std::string& folder, const std::optional<Json>& sourceManifest) {
    if (!FileSystem::exists(folder)) {
        return true;
    }
    // Something we cannot look inside is never replaced: the swap would throw it away.
    auto inside = FolderTree::names(folder);
    if (!FileSystem::isFolder(folder) || !inside) {
        return false;
    }
    auto installed = manifest(folder);
    if (!installed) {
        return std::all_of(inside->begin(), inside->end(), [](const std::string& n) { return n == finderLitter; });
    }
    return key(installed) == key(sourceManifest);
}

// A hidden sibling of `folder` for staging or removing: "." + its name + `purpose` + a UUID.
std::string sibling(const std::string& folder, const char* purpose) {
    return Environment::join(FileSystem::parentFolder(folder),
                             "." + FileSystem::fileName(folder) + purpose + UUID::random().text());
}

// Removes what an interrupted sync or removal left beside `folder`: hidden siblings named
// by sibling() with either purpose. Nothing else in the parent is touched.
void removeLeftovers(const std::string& folder) {
    const std::string parent = FileSystem::parentFolder(folder);
    const std::string stem = "." + FileSystem::fileName(folder);
    for (const std::string& name : FolderTree::names(parent).value_or(std::vector<std::string>{})) {
        for (const char* purpose : {"-staging", "-removing"}) {
            const std::string prefix = stem + purpose;
            if (name.starts_with(prefix) && UUID::parse(std::string_view(name).substr(prefix.size()))) {
                try {
                    FolderTree::remove(Environment::join(parent, name));
                } catch (const Error&) {
                }
            }
        }
    }
}

bool isLitter(const std::string& relative) {
    return FileSystem::fileName(relative) == finderLitter;
}

// Everything sync() decides before it writes.
struct Decision {
    Result outcome;
    bool write = false;
    bool existed = false; // the folder itself was there
};

Decision decide(const std::optional<std::string>& source, const std::string& folder) {
    if (!source) {
        return {Result::sourceMissing()};
    }
    auto sourceVersion = manifestVersion(*source);
    auto sourcePrint = fingerprint(*source);
    if (!sourceVersion || !sourcePrint) {
        return {Result::sourceMissing()};
    }
    if (!isOurs(folder, *source)) {
        return {Result::foreign()};
    }
    std::string manifestFile = Environment::join(folder, "manifest.json");
    bool hadManifest = FileSystem::exists(manifestFile);
    std::string installedVersion = manifestVersion(folder).value_or("?");
    if (hadManifest && fingerprint(folder) == sourcePrint) {
        return {Result::unchanged(*sourceVersion)};
    }
    Result outcome =
        hadManifest ? Result::updated(installedVersion, *sourceVersion) : Result::installed(*sourceVersion);
    return {outcome, true, FileSystem::exists(folder)};
}

} // namespace

Steps systemSteps() {
    return {FolderTree::copy, FolderTree::exchange, FileSystem::move};
}

std::string defaultFolder(const std::string& home) {
    return Environment::join(home, "Library/Application Support/BRELL/Companion/chrome");
}

Result sync(const std::optional<std::string>& source, const std::string& folder, const Steps& steps) {
    removeLeftovers(folder);
    Decision d = decide(source, folder);
    if (!d.write) {
        return d.outcome;
    }
    std::string parent = FileSystem::parentFolder(folder);
    std::string staging = sibling(folder, "-staging");
    try {
        FileSystem::makeFolders(parent);
        steps.copy(*source, staging);
        if (d.existed) {
            steps.swap(staging, folder);
        } else {
            steps.move(staging, folder);
        }
    } catch (const std::exception& e) {
        try {
            FolderTree::remove(staging);
        } catch (const Error&) {
        }
        return Result::failed(e.what());
    }
    // After a swap the staging name holds the previous copy, which is not kept.
    try {
        FolderTree::remove(staging);
    } catch (const Error&) {
    }
    return d.outcome;
}

Result plan(const std::optional<std::string>& source, const std::string& folder) {
    return decide(source, folder).outcome;
}

std::optional<std::string> manifestVersion(const std::string& folder) {
    auto m = manifest(folder);
    return m ? JsonText::string(JsonText::member(*m, "version")) : std::nullopt;
}

std::optional<std::string> fingerprint(const std::string& folder) {
    auto version = manifestVersion(folder);
    if (!version) {
        return std::nullopt;
    }
    auto files = FolderTree::regularFiles(folder);
    if (!files) {
        return std::nullopt;
    }
    std::erase_if(*files, isLitter);
    std::sort(files->begin(), files->end());
    std::string hashed;
    for (const auto& relative : *files) {
        auto bytes = readFile(folder + relative);
        if (!bytes) {
            return std::nullopt;
        }
        hashed += relative;
        hashed += '\0';
        hashed += *bytes;
        hashed += '\0';
    }
    return *version + "-" + Digest::sha256Hex(hashed);
}

bool isOurs(const std::string& folder, const std::string& source) {
    return ownedBy(folder, manifest(source));
}

Removal remove(const std::optional<std::string>& source, const std::string& folder) {
    if (!FileSystem::exists(folder)) {
        return {Removal::Kind::absent, ""};
    }
    if (!ownedBy(folder, source ? manifest(*source) : std::nullopt)) {
        return {Removal::Kind::foreign, ""};
    }
    std::string doomed = sibling(folder, "-removing");
    try {
        FileSystem::move(folder, doomed);
    } catch (const std::exception& e) {
        return {Removal::Kind::failed, e.what()};
    }
    try {
        FolderTree::remove(doomed);
    } catch (const std::exception& e) {
        return {Removal::Kind::failed, e.what()};
    }
    return {Removal::Kind::removed, ""};
}

std::optional<std::string> extensionID(const std::string& key) {
    auto bytes = Digest::base64Decode(key);
    if (!bytes) {
        return std::nullopt;
    }
    std::string hex = Digest::sha256Hex(*bytes).substr(0, 32);
    for (char& c : hex) {
        int value = c <= '9' ? c - '0' : c - 'a' + 10;
        c = static_cast<char>('a' + value);
    }
    return hex;
}

} // namespace brell::CompanionSync
