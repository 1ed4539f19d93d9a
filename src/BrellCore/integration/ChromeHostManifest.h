#pragma once
// Repointing the browser's native-messaging manifest for BRELL's host at the running
// copy's brell-memory-host. Only a manifest that names our host is ever rewritten, and
// only its "path" changes; every other key is kept. Stateless; throws nothing (failures
// are ManifestRepair values).
#include <string>
#include <string_view>

#include "BrellCore/integration/ManifestRepair.h"

namespace brell::ChromeHostManifest {

inline constexpr std::string_view hostName = "dev.brell.memory";

// Rewrites the manifest at `manifestURL` so its "path" is `hostBinaryPath`, when it is a
// JSON object whose "name" is `hostName`: repaired(the old path, "" when it had none),
// current (already so; not rewritten), missing (unreadable), foreign (not ours; left
// alone) or failed (the write failed; the system's description).
ManifestRepair repair(const std::string& manifestURL, const std::string& hostBinaryPath,
                      std::string_view hostName = ChromeHostManifest::hostName);

// What repair() would return, without writing anything.
ManifestRepair plan(const std::string& manifestURL, const std::string& hostBinaryPath,
                    std::string_view hostName = ChromeHostManifest::hostName);

} // namespace brell::ChromeHostManifest
