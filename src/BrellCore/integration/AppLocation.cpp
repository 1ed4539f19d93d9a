#include "BrellCore/integration/AppLocation.h"

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/StandardPath.h"
#include "util/Text.h"

namespace brell {
namespace {

// Each folder is tested with exactly one slash after it, so "ApplicationsOld" is not
// "Applications".
bool startsWithFolder(const std::string& path, const std::string& folder) {
    return path.starts_with(folder + "/");
}

std::string extension(const std::string& path) {
    std::string name = FileSystem::fileName(path);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? "" : Text::asciiLower(name.substr(dot + 1));
}

} // namespace

AppLocation AppLocation::classify(const std::string& bundlePath, const std::string& home,
                                  const std::function<bool(const std::string&)>& fileExists) {
    std::string ownHome = StandardPath::standardize(home, home);
    std::string path = StandardPath::standardize(bundlePath, ownHome);
    auto is = [&](AppLocationKind kind) { return AppLocation{kind, path}; };

    if (extension(path) != "app") {
        return is(AppLocationKind::devBuild);
    }
    if (path.find("/AppTranslocation/") != std::string::npos) {
        return is(AppLocationKind::translocated);
    }
    std::string parent = FileSystem::parentFolder(path);
    if (FileSystem::fileName(parent) == "build" &&
        fileExists(Environment::join(FileSystem::parentFolder(parent), buildManifest))) {
        return is(AppLocationKind::devBuild);
    }
    if (startsWithFolder(path, "/Applications")) {
        return is(AppLocationKind::applications);
    }
    if (startsWithFolder(path, Environment::join(ownHome, "Applications"))) {
        return is(AppLocationKind::userApplications);
    }
    if (startsWithFolder(path, "/Volumes")) {
        return is(AppLocationKind::diskImage);
    }
    if (startsWithFolder(path, Environment::join(ownHome, "Downloads"))) {
        return is(AppLocationKind::downloads);
    }
    return is(AppLocationKind::other);
}

std::string AppLocation::moveDestination(const std::string& appName, const std::string& home,
                                         bool applicationsWritable) {
    if (applicationsWritable) {
        return "/Applications/" + appName;
    }
    return Environment::join(home, "Applications/" + appName);
}

AppLocation AppLocation::ofCopy(const InstallLayout::Copy& copy) {
    switch (copy.placement) {
    case InstallLayout::Placement::buildTree:
        return {AppLocationKind::devBuild, copy.root};
    case InstallLayout::Placement::systemPrefix:
        return {AppLocationKind::applications, copy.root};
    case InstallLayout::Placement::userPrefix:
        return {AppLocationKind::userApplications, copy.root};
    case InstallLayout::Placement::downloads:
        return {AppLocationKind::downloads, copy.root};
    case InstallLayout::Placement::other:
        return {AppLocationKind::other, copy.root};
    }
    return {AppLocationKind::other, copy.root};
}

bool AppLocation::isInApplications() const {
    return kind == AppLocationKind::applications || kind == AppLocationKind::userApplications;
}

bool AppLocation::shouldOfferMove() const {
    return kind == AppLocationKind::diskImage || kind == AppLocationKind::downloads || kind == AppLocationKind::other;
}

bool AppLocation::needsManualMove() const {
    return kind == AppLocationKind::translocated;
}

bool AppLocation::moveIsCopy() const {
    return kind == AppLocationKind::diskImage;
}

bool AppLocation::isTemporary() const {
    return kind == AppLocationKind::translocated || kind == AppLocationKind::diskImage;
}

std::string AppLocation::offerMessage() const {
    switch (kind) {
    case AppLocationKind::translocated:
        return "macOS is running BRELL from a temporary copy, so it can't move itself. Quit BRELL, drag BRELL from "
               "the disk image or Downloads into Applications, then open it from there.";
    case AppLocationKind::diskImage:
        return "BRELL is running from the disk image. Move it to Applications so it keeps working after you eject "
               "the image, and so Chrome and your assistants can find it.";
    case AppLocationKind::downloads:
        return "BRELL is running from Downloads. Move it to Applications so Chrome and your assistants keep "
               "finding it.";
    default:
        return "BRELL works best from Applications: Chrome and your assistants remember where BRELL is, so a fixed "
               "brell keeps them connected.";
    }
}

} // namespace brell
