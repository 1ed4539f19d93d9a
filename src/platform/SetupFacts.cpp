#include "platform/SetupFacts.h"

#include <unistd.h>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "util/Text.h"

namespace brell::SetupFacts {
namespace {

struct Candidate {
    const char* name;
#if defined(__APPLE__)
    const char* bundle;
#else
    std::vector<const char*> programs;
    const char* profile; // folder in the configuration folder
#endif
};

#if !defined(__APPLE__)
bool onPath(const std::string& program) {
    auto path = Environment::nonEmptyValue("PATH");
    if (!path) {
        return false;
    }
    for (const auto& folder : Text::split(*path, ':')) {
        if (folder.empty() || folder.front() != '/') {
            continue;
        }
        std::string file = Environment::join(folder, program);
        if (::access(file.c_str(), X_OK) == 0 && !FileSystem::isFolder(file)) {
            return true;
        }
    }
    return false;
}
#endif

} // namespace

std::vector<std::string> installedBrowsers() {
    std::vector<std::string> found;
#if defined(__APPLE__)
    const Candidate candidates[] = {{"Google Chrome", "Google Chrome.app"}, {"Chromium", "Chromium.app"}};
    for (const auto& c : candidates) {
        std::string user = Environment::join(Environment::join(Environment::homeFolder(), "Applications"), c.bundle);
        if (FileSystem::isFolder(Environment::join("/Applications", c.bundle)) || FileSystem::isFolder(user)) {
            found.emplace_back(c.name);
        }
    }
#else
    const Candidate candidates[] = {
        {"Google Chrome", {"google-chrome", "google-chrome-stable"}, "google-chrome"},
        {"Chromium", {"chromium", "chromium-browser"}, "chromium"},
    };
    const std::string config = Environment::configurationFolder();
    for (const auto& c : candidates) {
        // A profile is the trace of a browser that has run; the folder alone may hold
        // nothing but the manifest brell install wrote.
        bool installed = FileSystem::exists(Environment::join(Environment::join(config, c.profile), "Local State"));
        for (const char* program : c.programs) {
            installed = installed || onPath(program);
        }
        if (installed) {
            found.emplace_back(c.name);
        }
    }
#endif
    return found;
}

std::optional<bool> accessibilityPermitted() {
    return std::nullopt;
}

std::optional<bool> screenRecordingPermitted() {
    return std::nullopt;
}

std::optional<bool> browserNeedsAsking() {
#if defined(__APPLE__)
    return std::nullopt;
#else
    return false;
#endif
}

} // namespace brell::SetupFacts
