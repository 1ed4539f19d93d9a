// Where a copy of BRELL runs from, what the user is told, and the paths of every link.
#include <gtest/gtest.h>

#include <set>

#include "BrellCore/integration/AppLocation.h"
#include "BrellCore/integration/RelocationPaths.h"

namespace brell {
namespace {

TEST(AppLocationTest, ClassifiesBundlePaths) {
    const std::string home = "/Users/ann";
    // The folder above "build" of a development build holds the source tree's manifest.
    const std::set<std::string> existing = {"/Users/ann/src/brell/CMakeLists.txt"};
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
    struct Case {
        const char* name;
        const char* path;
        AppLocationKind kind;
        const char* standardized;
    };
    const Case cases[] = {
        {"system Applications", "/Applications/BRELL.app", AppLocationKind::applications, "/Applications/BRELL.app"},
        {"user Applications", "/Users/ann/Applications/BRELL.app", AppLocationKind::userApplications,
         "/Users/ann/Applications/BRELL.app"},
        {"user Applications by tilde", "~/Applications/BRELL.app", AppLocationKind::userApplications,
         "/Users/ann/Applications/BRELL.app"},
        {"disk image", "/Volumes/BRELL/BRELL.app", AppLocationKind::diskImage, "/Volumes/BRELL/BRELL.app"},
        {"Downloads", "/Users/ann/Downloads/BRELL.app", AppLocationKind::downloads, "/Users/ann/Downloads/BRELL.app"},
        {"Downloads by tilde", "~/Downloads/BRELL.app", AppLocationKind::downloads, "/Users/ann/Downloads/BRELL.app"},
        {"Downloads through dots", "/Users/ann/Desktop/../Downloads/./BRELL.app", AppLocationKind::downloads,
         "/Users/ann/Downloads/BRELL.app"},
        {"translocated beats Volumes", "/Volumes/x/AppTranslocation/ABC/d/BRELL.app", AppLocationKind::translocated,
         "/Volumes/x/AppTranslocation/ABC/d/BRELL.app"},
        {"translocated", "/private/var/folders/x/T/AppTranslocation/1234/d/BRELL.app", AppLocationKind::translocated,
         "/private/var/folders/x/T/AppTranslocation/1234/d/BRELL.app"},
        {"not a bundle", "/Applications/brell", AppLocationKind::devBuild, "/Applications/brell"},
        {"extension in capitals", "/Applications/BRELL.APP", AppLocationKind::applications, "/Applications/BRELL.APP"},
        {"build folder of a source tree", "/Users/ann/src/brell/build/BRELL.app", AppLocationKind::devBuild,
         "/Users/ann/src/brell/build/BRELL.app"},
        {"build folder without a source tree", "/Users/ann/other/build/BRELL.app", AppLocationKind::other,
         "/Users/ann/other/build/BRELL.app"},
        {"ApplicationsOld is not Applications", "/ApplicationsOld/BRELL.app", AppLocationKind::other,
         "/ApplicationsOld/BRELL.app"},
        {"user ApplicationsOld", "/Users/ann/ApplicationsOld/BRELL.app", AppLocationKind::other,
         "/Users/ann/ApplicationsOld/BRELL.app"},
        {"DownloadsOld", "/Users/ann/DownloadsOld/BRELL.app", AppLocationKind::other,
         "/Users/ann/DownloadsOld/BRELL.app"},
        {"another user's Downloads", "/Users/bob/Downloads/BRELL.app", AppLocationKind::other,
         "/Users/bob/Downloads/BRELL.app"},
        {"doubled slashes", "//Applications//BRELL.app/", AppLocationKind::applications, "/Applications/BRELL.app"},
        {"Desktop", "/Users/ann/Desktop/BRELL.app", AppLocationKind::other, "/Users/ann/Desktop/BRELL.app"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppLocation location = AppLocation::classify(c.path, home, exists);
        EXPECT_EQ(rawValue(location.kind), rawValue(c.kind));
        EXPECT_EQ(location.bundlePath, c.standardized);
    }
}

TEST(AppLocationTest, PropertiesAndMessagesByKind) {
    const std::string other = "BRELL works best from Applications: Chrome and your assistants remember where BRELL "
                              "is, so a fixed brell keeps them connected.";
    struct Case {
        AppLocationKind kind;
        bool inApplications, offerMove, manualMove, moveIsCopy, temporary;
        std::string message;
    };
    const Case cases[] = {
        {AppLocationKind::applications, true, false, false, false, false, other},
        {AppLocationKind::userApplications, true, false, false, false, false, other},
        {AppLocationKind::devBuild, false, false, false, false, false, other},
        {AppLocationKind::translocated, false, false, true, false, true,
         "macOS is running BRELL from a temporary copy, so it can't move itself. Quit BRELL, drag BRELL from the "
         "disk image or Downloads into Applications, then open it from there."},
        {AppLocationKind::diskImage, false, true, false, true, true,
         "BRELL is running from the disk image. Move it to Applications so it keeps working after you eject the "
         "image, and so Chrome and your assistants can find it."},
        {AppLocationKind::downloads, false, true, false, false, false,
         "BRELL is running from Downloads. Move it to Applications so Chrome and your assistants keep finding it."},
        {AppLocationKind::other, false, true, false, false, false, other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.kind)));
        AppLocation location{c.kind, "/x/BRELL.app"};
        EXPECT_EQ(location.isInApplications(), c.inApplications);
        EXPECT_EQ(location.shouldOfferMove(), c.offerMove);
        EXPECT_EQ(location.needsManualMove(), c.manualMove);
        EXPECT_EQ(location.moveIsCopy(), c.moveIsCopy);
        EXPECT_EQ(location.isTemporary(), c.temporary);
        EXPECT_EQ(location.offerMessage(), c.message);
        EXPECT_EQ(appLocationKindFromRaw(rawValue(c.kind)), c.kind);
    }
    EXPECT_EQ(appLocationKindFromRaw("Applications"), std::nullopt);
}

TEST(AppLocationTest, MoveDestination) {
    EXPECT_EQ(AppLocation::moveDestination("BRELL.app", "/Users/ann", true), "/Applications/BRELL.app");
    EXPECT_EQ(AppLocation::moveDestination("BRELL.app", "/Users/ann", false), "/Users/ann/Applications/BRELL.app");
}

TEST(AppLocationTest, InstalledTreesMapOntoTheSameKinds) {
    struct Case {
        InstallLayout::Placement placement;
        AppLocationKind kind;
    };
    const Case cases[] = {
        {InstallLayout::Placement::buildTree, AppLocationKind::devBuild},
        {InstallLayout::Placement::systemPrefix, AppLocationKind::applications},
        {InstallLayout::Placement::userPrefix, AppLocationKind::userApplications},
        {InstallLayout::Placement::downloads, AppLocationKind::downloads},
        {InstallLayout::Placement::other, AppLocationKind::other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.kind)));
        InstallLayout::Copy copy;
        copy.placement = c.placement;
        copy.root = "/usr/local";
        AppLocation location = AppLocation::ofCopy(copy);
        EXPECT_EQ(location.kind, c.kind);
        EXPECT_EQ(location.bundlePath, "/usr/local");
    }
}

TEST(RelocationPathsTest, StandardLayoutJoinsWithOneSlash) {
    for (const char* home : {"/Users/ann", "/Users/ann/"}) {
        SCOPED_TRACE(home);
        RelocationPaths p = RelocationPaths::standard("/Applications/BRELL.app/", home);
        EXPECT_EQ(p.appBinary, "/Applications/BRELL.app/Contents/MacOS/BRELL");
        EXPECT_EQ(p.hostBinary, "/Applications/BRELL.app/Contents/MacOS/brell-memory-host");
        EXPECT_EQ(p.chromeManifest,
                  "/Users/ann/Library/Application Support/Google/Chrome/NativeMessagingHosts/dev.brell.memory.json");
        EXPECT_EQ(p.claudeDesktopConfig, "/Users/ann/Library/Application Support/Claude/claude_desktop_config.json");
        EXPECT_EQ(p.claudeCodeConfig, "/Users/ann/.claude.json");
        EXPECT_EQ(p.codexConfig, "/Users/ann/.codex/config.toml");
        EXPECT_EQ(p.geminiConfig, "/Users/ann/.gemini/settings.json");
        EXPECT_EQ(p.companionSource, "/Applications/BRELL.app/Contents/Resources/Companion/chrome");
        EXPECT_EQ(p.companionFolder, "/Users/ann/Library/Application Support/BRELL/Companion/chrome");
        EXPECT_TRUE(p.otherBrowserManifests.empty());
    }
}

} // namespace
} // namespace brell
