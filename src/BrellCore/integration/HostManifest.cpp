#include "BrellCore/integration/HostManifest.h"

#include <algorithm>

#include "BrellMemory/host/CompanionIdentity.h"
#include "BrellMemory/host/HostProtocol.h"
#include "platform/BrowserFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace brell::HostManifest {
namespace {

Json companionOrigins() {
    Json all = Json::array();
    for (const auto& origin : CompanionIdentity::origins()) {
        all.push_back(origin);
    }
    return all;
}

// A manifest is ours when it names our host and allows our companions and no other
// extension (an older install may list fewer of them).
bool isOurs(const Json& m) {
    if (!m.is_object() || m.value("name", "") != HostProtocol::hostName || !m.contains("allowed_origins") ||
        !m["allowed_origins"].is_array() || m["allowed_origins"].empty()) {
        return false;
    }
    const auto ours = CompanionIdentity::origins();
    for (const auto& origin : m["allowed_origins"]) {
        if (!origin.is_string() || std::find(ours.begin(), ours.end(), origin.get<std::string>()) == ours.end()) {
            return false;
        }
    }
    return true;
}

std::optional<Json> read(const std::string& file) {
    try {
        auto bytes = FileSystem::read(file);
        return bytes ? JsonText::parse(*bytes) : std::nullopt;
    } catch (const Error&) {
        return std::nullopt;
    }
}

} // namespace

Json manifest(const std::string& hostPath) {
    return {{"name", HostProtocol::hostName},
            {"description", "BRELL memory: remembers what you watch and read, on this computer only"},
            {"path", hostPath},
            {"type", "stdio"},
            {"allowed_origins", companionOrigins()}};
}

std::string path(const std::string& folder) {
    return Environment::join(folder, std::string(HostProtocol::hostName) + ".json");
}

std::vector<std::string> install(const std::string& hostPath) {
    std::vector<std::string> written;
    for (const auto& browser : BrowserFolders::nativeMessagingFolders()) {
        std::string file = path(browser.folder);
        FileSystem::writeAtomically(file, manifest(hostPath).dump(2) + "\n");
        written.push_back(file);
    }
    return written;
}

std::vector<Installed> check(const std::string& hostPath) {
    std::vector<Installed> found;
    for (const auto& browser : BrowserFolders::nativeMessagingFolders()) {
        Installed entry{browser.name, path(browser.folder), Status::missing, std::nullopt};
        if (FileSystem::exists(entry.file)) {
            auto m = read(entry.file);
            if (!m || !isOurs(*m)) {
                entry.status = Status::notOurs;
            } else {
                entry.hostPath = m->value("path", "");
                entry.status = entry.hostPath == hostPath ? Status::current : Status::otherBuild;
            }
        }
        found.push_back(entry);
    }
    return found;
}

std::vector<std::string> uninstall() {
    std::vector<std::string> removed;
    for (const auto& browser : BrowserFolders::nativeMessagingFolders()) {
        std::string file = path(browser.folder);
        auto m = read(file);
        if (m && isOurs(*m) && FileSystem::remove(file)) {
            removed.push_back(file);
        }
    }
    return removed;
}

} // namespace brell::HostManifest
