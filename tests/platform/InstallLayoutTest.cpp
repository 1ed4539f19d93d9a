// Where a copy of the command-line build runs from.
#include <gtest/gtest.h>

#include <map>

#include "platform/InstallLayout.h"

namespace brell {
namespace {

using Placement = InstallLayout::Placement;

TEST(InstallLayoutTest, Locate) {
    const std::map<std::string, std::string> files = {
        {"/home/ann/src/brell/build-dev/CMakeCache.txt",
         "# comment\nCMAKE_BUILD_TYPE:STRING=Debug\nCMAKE_HOME_DIRECTORY:INTERNAL=/home/ann/src/brell\n"},
        {"/tmp/b/CMakeCache.txt", "CMAKE_BUILD_TYPE:STRING=Debug\n"},
    };
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    auto read = [&](const std::string& p) -> std::optional<std::string> {
        auto it = files.find(p);
        return it == files.end() ? std::nullopt : std::optional(it->second);
    };
    struct Case {
        const char* name;
        const char* executable;
        Placement placement;
        const char* root;
        const char* companionSource;
    };
    const Case cases[] = {
        {"build tree", "/home/ann/src/brell/build-dev/bin/brell", Placement::buildTree, "/home/ann/src/brell/build-dev",
         "/home/ann/src/brell/companion/chrome"},
        {"build tree without a recorded source", "/tmp/b/bin/brell", Placement::buildTree, "/tmp/b",
         "/tmp/b/share/brell/companion/chrome"},
        {"system prefix", "/usr/local/bin/brell", Placement::systemPrefix, "/usr/local",
         "/usr/local/share/brell/companion/chrome"},
        {"user prefix", "/home/ann/.local/bin/brell", Placement::userPrefix, "/home/ann/.local",
         "/home/ann/.local/share/brell/companion/chrome"},
        {"home itself as prefix", "/home/ann/bin/brell", Placement::userPrefix, "/home/ann",
         "/home/ann/share/brell/companion/chrome"},
        {"another user's home is not ours", "/home/annie/.local/bin/brell", Placement::systemPrefix,
         "/home/annie/.local", "/home/annie/.local/share/brell/companion/chrome"},
        {"Downloads", "/home/ann/Downloads/brell-0.1/bin/brell", Placement::downloads, "/home/ann/Downloads/brell-0.1",
         "/home/ann/Downloads/brell-0.1/share/brell/companion/chrome"},
        {"not a bin folder", "/opt/brell/brell", Placement::other, "/opt", "/opt/share/brell/companion/chrome"},
        {"dots in the path", "/usr/local/./lib/../bin/brell", Placement::systemPrefix, "/usr/local",
         "/usr/local/share/brell/companion/chrome"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstallLayout::Copy copy = InstallLayout::locate(c.executable, "/home/ann", exists, read);
        EXPECT_EQ(copy.placement, c.placement);
        EXPECT_EQ(copy.root, c.root);
        EXPECT_EQ(copy.companionSource, c.companionSource);
        EXPECT_EQ(copy.hostBinary, copy.root == "/opt" ? "/opt/brell/brell-memory-host"
                                                       : std::string(c.root) + "/bin/brell-memory-host");
    }
}

TEST(InstallLayoutTest, OfferOnlyWhereLinksWouldNotLast) {
    EXPECT_EQ(InstallLayout::offerMessage(Placement::buildTree), std::nullopt);
    EXPECT_EQ(InstallLayout::offerMessage(Placement::systemPrefix), std::nullopt);
    EXPECT_EQ(InstallLayout::offerMessage(Placement::userPrefix), std::nullopt);
    EXPECT_EQ(InstallLayout::offerMessage(Placement::downloads),
              "BRELL is running from Downloads. Install it with make install (PREFIX=~/.local for your account only) "
              "so Chrome and your assistants keep finding it.");
    EXPECT_TRUE(InstallLayout::offerMessage(Placement::other));
}

} // namespace
} // namespace brell
