#pragma once
// Where the running copy of BRELL lives and what to tell the user about it. classify()
// reads an application bundle's path (the desktop application's layout); ofCopy() maps
// the command-line build's installed tree, as the platform layer finds it, onto the same
// kinds. A plain value; pure functions; throws nothing.
#include <functional>
#include <string>

#include "BrellCore/integration/AppLocationKind.h"
#include "platform/InstallLayout.h"

namespace brell {

struct AppLocation {
    AppLocationKind kind = AppLocationKind::other;
    std::string bundlePath; // standardized

    // The file whose presence marks the source tree above a development build's "build"
    // folder.
    static constexpr const char* buildManifest = "CMakeLists.txt";

    // Classifies the bundle at `bundlePath` ("~" and "." / ".." allowed), with `home` the
    // user's home folder; `fileExists` tells whether a path exists.
    static AppLocation classify(const std::string& bundlePath, const std::string& home,
                                const std::function<bool(const std::string&)>& fileExists);

    // Where to move the application named `appName` ("BRELL.app"): /Applications when it
    // is writable, else the Applications folder in the home folder.
    static std::string moveDestination(const std::string& appName, const std::string& home, bool applicationsWritable);

    // The kind of an installed tree of the command-line build: a build tree is devBuild,
    // a system prefix applications, a prefix in the home folder userApplications.
    static AppLocation ofCopy(const InstallLayout::Copy& copy);

    bool isInApplications() const;
    bool shouldOfferMove() const;
    bool needsManualMove() const;
    bool moveIsCopy() const;
    bool isTemporary() const;

    // What to tell the user about moving the application into Applications.
    std::string offerMessage() const;
};

} // namespace brell
