#pragma once
// The browser's native-messaging manifest for the companion host: which executable the
// browser starts for "dev.brell.memory" and which extension may call it. Installing
// writes one manifest per browser folder; checking reads them back; uninstalling
// removes only manifests that are ours. Throws FileError when a file cannot be written.
#include <optional>
#include <string>
#include <vector>

#include "util/Json.h"

namespace brell::HostManifest {

// The manifest for the host at `hostPath` (absolute).
Json manifest(const std::string& hostPath);

// "<folder>/dev.brell.memory.json".
std::string path(const std::string& folder);

enum class Status { missing, current, otherBuild, notOurs };

struct Installed {
    std::string browser;
    std::string file;
    Status status = Status::missing;
    std::optional<std::string> hostPath; // what the manifest points at, when readable
};

// Writes the manifest into every browser folder; returns the files written.
std::vector<std::string> install(const std::string& hostPath);
// What each browser folder holds, compared with `hostPath`.
std::vector<Installed> check(const std::string& hostPath);
// Removes our manifests (leaving files of the same name that are not ours); returns
// the files removed.
std::vector<std::string> uninstall();

} // namespace brell::HostManifest
