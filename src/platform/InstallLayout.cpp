#include "platform/InstallLayout.h"

#include "platform/BrowserFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/StandardPath.h"
#include "util/Error.h"

namespace brell::InstallLayout {
namespace {

bool under(const std::string& path, const std::string& folder) {
    std::string prefix = folder == "/" ? folder : folder + "/";
    return path.starts_with(prefix);
}

// The source tree a build folder was configured from, as CMake records it.
std::optional<std::string> sourceTree(const std::string& cache) {
    static constexpr std::string_view key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    std::string_view rest(cache);
    while (!rest.empty()) {
        auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.starts_with(key)) {
            std::string_view value = line.substr(key.size());
            while (!value.empty() && value.back() == '\r') {
                value.remove_suffix(1);
            }
            return value.empty() ? std::nullopt : std::optional(std::string(value));
        }
    }
    return std::nullopt;
}

} // namespace

Copy locate(const std::string& executable, const std::string& home, const FileExists& fileExists,
            const ReadFile& readFile) {
    std::string self = StandardPath::standardize(executable, home);
    std::string ownHome = StandardPath::standardize(home, home);
    std::string folder = FileSystem::parentFolder(self);
    Copy copy;
    copy.appBinary = self;
    copy.hostBinary = Environment::join(folder, "brell-memory-host");
    copy.root = FileSystem::parentFolder(folder);
    copy.companionSource = Environment::join(copy.root, companionInTree);

    std::string cache = Environment::join(copy.root, "CMakeCache.txt");
    if (FileSystem::fileName(folder) == "bin" && fileExists(cache)) {
        copy.placement = Placement::buildTree;
        if (auto text = readFile(cache)) {
            if (auto source = sourceTree(*text)) {
                copy.companionSource = Environment::join(*source, "companion/chrome");
            }
        }
    } else if (under(self, Environment::join(ownHome, "Downloads"))) {
        copy.placement = Placement::downloads;
    } else if (FileSystem::fileName(folder) == "bin") {
        copy.placement =
            copy.root == ownHome || under(copy.root, ownHome) ? Placement::userPrefix : Placement::systemPrefix;
    }
    return copy;
}

Copy current() {
    std::string self = BrowserFolders::currentExecutable();
    if (self.empty()) {
        return {};
    }
    auto read = [](const std::string& path) -> std::optional<std::string> {
        try {
            return FileSystem::read(path);
        } catch (const Error&) {
            return std::nullopt;
        }
    };
    return locate(self, Environment::homeFolder(), FileSystem::exists, read);
}

std::string companionFolder() {
    return Environment::join(Environment::applicationSupportFolder(), "BRELL/Companion/chrome");
}

std::string describe(const Copy& copy) {
    switch (copy.placement) {
    case Placement::buildTree:
        return "a development build in " + copy.root;
    case Placement::systemPrefix:
        return "installed in " + copy.root;
    case Placement::userPrefix:
        return "installed for your account in " + copy.root;
    case Placement::downloads:
        return "the Downloads folder";
    case Placement::other:
        return "a folder outside an installed tree";
    }
    return "";
}

std::optional<std::string> offerMessage(Placement placement) {
    switch (placement) {
    case Placement::downloads:
        return "BRELL is running from Downloads. Install it with make install (PREFIX=~/.local for your account "
               "only) so Chrome and your assistants keep finding it.";
    case Placement::other:
        return "BRELL works best installed: Chrome and your assistants remember where BRELL is, so a fixed place "
               "keeps them connected. Install it with make install (PREFIX=~/.local for your account only).";
    case Placement::buildTree:
    case Placement::systemPrefix:
    case Placement::userPrefix:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace brell::InstallLayout
