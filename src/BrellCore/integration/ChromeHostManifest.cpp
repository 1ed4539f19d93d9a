#include "BrellCore/integration/ChromeHostManifest.h"

#include <optional>

#include "platform/FileSystem.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::ChromeHostManifest {
namespace {

struct Planned {
    ManifestRepair outcome;
    std::optional<std::string> bytes; // what to write, for `repaired`
};

Planned planned(const std::string& manifestURL, const std::string& hostBinaryPath, std::string_view hostName) {
    std::optional<std::string> bytes;
    try {
        bytes = FileSystem::read(manifestURL);
    } catch (const Error&) {
    }
    if (!bytes) {
        return {ManifestRepair::missing(), std::nullopt};
    }
    auto manifest = JsonText::parse(*bytes);
    if (!manifest || !manifest->is_object() || JsonText::string(JsonText::member(*manifest, "name")) != hostName) {
        return {ManifestRepair::foreign(), std::nullopt};
    }
    std::string oldPath = JsonText::string(JsonText::member(*manifest, "path")).value_or("");
    if (oldPath == hostBinaryPath) {
        return {ManifestRepair::current(), std::nullopt};
    }
    (*manifest)["path"] = hostBinaryPath;
    try {
        // Keys come out sorted (Json keeps them so) and "/" is never escaped.
        return {ManifestRepair::repaired(oldPath), manifest->dump(2) + "\n"};
    } catch (const std::exception& e) {
        return {ManifestRepair::failed(e.what()), std::nullopt};
    }
}

} // namespace

ManifestRepair repair(const std::string& manifestURL, const std::string& hostBinaryPath, std::string_view hostName) {
    Planned p = planned(manifestURL, hostBinaryPath, hostName);
    if (!p.bytes) {
        return p.outcome;
    }
    try {
        FileSystem::writeAtomically(manifestURL, *p.bytes);
    } catch (const std::exception& e) {
        return ManifestRepair::failed(e.what());
    }
    return p.outcome;
}

ManifestRepair plan(const std::string& manifestURL, const std::string& hostBinaryPath, std::string_view hostName) {
    return planned(manifestURL, hostBinaryPath, hostName).outcome;
}

} // namespace brell::ChromeHostManifest
