#pragma once
// Repairs every link to the running copy of BRELL after it was moved, installed anew or
// run from somewhere else: syncs the companion extension's folder, repoints the
// browsers' native-messaging manifests and Claude Desktop's entry, and finds the
// assistants the user must reconnect by hand. Stateless; throws nothing (each link's
// outcome is in the report). Runs synchronously on the caller's thread.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/integration/ConnectionPath.h"
#include "BrellCore/integration/RelocationPaths.h"
#include "BrellCore/integration/RelocationReport.h"

namespace brell::RelocationRepair {

// The assistants whose configuration the user reconnects by hand, in the order reported.
enum class ManualConnection { claudeCode, codex, gemini };

inline constexpr ManualConnection allCases[] = {ManualConnection::claudeCode, ManualConnection::codex,
                                                ManualConnection::gemini};

// "Claude Code", "Codex", "Gemini CLI".
std::string_view displayName(ManualConnection connection);

// The configuration file of `connection` among `paths`.
const std::string& configFile(ManualConnection connection, const RelocationPaths& paths);

// The connector command registered in that file; nothing when it is unreadable or has
// no entry.
std::optional<std::string> configuredCommand(ManualConnection connection, const RelocationPaths& paths);

enum class Mode {
    apply,   // write what needs repairing
    preview, // report what apply would do and write nothing
};

using FileExists = std::function<bool(const std::string&)>;

// Syncs the companion folder; when `repointLinks` also repairs the manifests and Claude
// Desktop's file and lists in needsReconnect the assistants whose command points at a
// path where no file exists any more.
RelocationReport run(const RelocationPaths& paths, bool repointLinks, const FileExists& fileExists,
                     Mode mode = Mode::apply);

// Where `connection`'s registered command points, compared with paths.appBinary.
ConnectionPath status(ManualConnection connection, const RelocationPaths& paths, const FileExists& fileExists);

} // namespace brell::RelocationRepair
