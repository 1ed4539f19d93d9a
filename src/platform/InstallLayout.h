#pragma once
// Where this copy of BRELL runs from and what it carries, for the command-line build on
// Linux (and macOS): the programs sit in a "bin" folder, and an installed tree keeps the
// companion extension's source copy in "share/brell/companion/chrome" beside it:
//
//   <prefix>/bin/brell, <prefix>/bin/brell-memory-host
//   <prefix>/share/brell/companion/chrome/manifest.json, ...
//
// A build tree (a CMake build folder, "bin" inside it) is a development build whose
// companion source is the source tree's own "companion/chrome". The extension Chrome
// loads lives in a fixed folder under the BRELL data folder, so it keeps working when
// the installed tree moves. Stateless; throws nothing.
#include <functional>
#include <optional>
#include <string>

namespace brell::InstallLayout {

enum class Placement {
    buildTree,    // a CMake build folder: <build>/bin/brell beside <build>/CMakeCache.txt
    systemPrefix, // installed under a prefix outside the home folder, such as /usr/local
    userPrefix,   // installed under a prefix in the home folder, such as ~/.local
    downloads,    // somewhere in ~/Downloads
    other,        // anywhere else
};

struct Copy {
    Placement placement = Placement::other;
    std::string appBinary;       // the running brell
    std::string hostBinary;      // brell-memory-host beside it
    std::string root;            // the prefix or the build folder (the folder above "bin")
    std::string companionSource; // where this copy carries the extension's source files
};

using FileExists = std::function<bool(const std::string&)>;
using ReadFile = std::function<std::optional<std::string>(const std::string&)>;

// The installed tree's companion source, relative to the prefix.
inline constexpr const char* companionInTree = "share/brell/companion/chrome";

// Where the copy whose brell is at `executable` (absolute, standardized) runs from.
// `readFile` reads a build folder's CMakeCache.txt to find its source tree.
Copy locate(const std::string& executable, const std::string& home, const FileExists& fileExists,
            const ReadFile& readFile);

// locate() for the running executable and the user's home; appBinary is empty when the
// system cannot say where the executable is.
Copy current();

// The folder Chrome loads the companion extension from: <data folder>/BRELL/Companion/chrome.
std::string companionFolder();

// "a development build in /src/build", "installed in /usr/local", ...
std::string describe(const Copy& copy);

// What to tell a user whose copy runs from a place where the links it writes would not
// last; nothing for a build tree or an installed copy.
std::optional<std::string> offerMessage(Placement placement);

} // namespace brell::InstallLayout
