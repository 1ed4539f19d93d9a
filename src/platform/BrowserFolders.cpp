#include "platform/BrowserFolders.h"

#include <climits>
#include <unistd.h>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace brell::BrowserFolders {

std::vector<Browser> nativeMessagingFolders() {
    std::string config = Environment::configurationFolder();
#if defined(__APPLE__)
    return {{"Google Chrome", Environment::join(config, "Google/Chrome/NativeMessagingHosts")},
            {"Chromium", Environment::join(config, "Chromium/NativeMessagingHosts")}};
#else
    return {{"Google Chrome", Environment::join(config, "google-chrome/NativeMessagingHosts")},
            {"Chromium", Environment::join(config, "chromium/NativeMessagingHosts")}};
#endif
}

std::string currentExecutable() {
#if defined(__APPLE__)
    char buffer[PATH_MAX];
    uint32_t size = sizeof buffer;
    if (_NSGetExecutablePath(buffer, &size) != 0) {
        return "";
    }
    return FileSystem::realPath(buffer).value_or(buffer);
#else
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return "";
    }
    return std::string(buffer, static_cast<std::size_t>(n));
#endif
}

} // namespace brell::BrowserFolders
