// brell install, --check, uninstall and doctor against a temporary home folder.
#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

class InstallCommandsTest : public ::testing::Test {
protected:
    test::TempFolder home;

    test::ProcessResult brell(std::vector<std::string> args) {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.setEnv = {{"HOME", home.path()},
                          {"BRELL_MEMORY_DB", home.file("Memory.sqlite")},
                          {"BRELL_BOARD", home.file("board.json")}};
        options.unsetEnv = {"XDG_CONFIG_HOME", "XDG_DATA_HOME"};
        return test::run(test::binary("brell"), options);
    }

    std::string chrome = home.file(".config/google-chrome/NativeMessagingHosts/dev.brell.memory.json");
    std::string chromium = home.file(".config/chromium/NativeMessagingHosts/dev.brell.memory.json");
};

TEST_F(InstallCommandsTest, InstallCheckAndUninstall) {
    EXPECT_NE(brell({"install", "--check"}).out.find("not installed"), std::string::npos);
    auto r = brell({"install"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    // The browser loads the extension from BRELL's data folder, never from the source tree.
    std::string extension = home.file(".local/share/BRELL/Companion/chrome");
    EXPECT_NE(r.out.find("choose \"Load unpacked\" and pick " + extension + "\n"), std::string::npos) << r.out;
    auto source = FileSystem::realPath(test::fixturePath("../../companion/chrome"));
    ASSERT_TRUE(source);
    EXPECT_EQ(FileSystem::read(extension + "/manifest.json"), FileSystem::read(*source + "/manifest.json"));
    for (const auto& file : {chrome, chromium}) {
        SCOPED_TRACE(file);
        auto bytes = FileSystem::read(file);
        ASSERT_TRUE(bytes);
        Json m = Json::parse(*bytes);
        EXPECT_EQ(m["name"], "dev.brell.memory");
        EXPECT_EQ(m["type"], "stdio");
        EXPECT_EQ(m["path"], *FileSystem::realPath(test::binary("brell-memory-host")));
        EXPECT_EQ(m["allowed_origins"], Json::array({"chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/",
                                                     "chrome-extension://hfibbkondadfpfgdamicagljdjbcollk/"}));
        EXPECT_TRUE(m["description"].is_string());
    }
    auto check = brell({"install", "--check"});
    EXPECT_NE(check.out.find("Google Chrome: installed, points at this build"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Chromium: installed, points at this build"), std::string::npos);

    // Another build's manifest is reported; a foreign file of the same name is never removed.
    Json other = Json::parse(*FileSystem::read(chrome));
    other["path"] = "/opt/elsewhere/brell-memory-host";
    FileSystem::writeAtomically(chrome, other.dump());
    FileSystem::writeAtomically(chromium,
                                R"({"name":"dev.brell.memory","allowed_origins":["chrome-extension://other/"]})");
    check = brell({"install", "--check"});
    EXPECT_NE(check.out.find("points at another build (/opt/elsewhere/brell-memory-host)"), std::string::npos);
    EXPECT_NE(check.out.find("is not BRELL's"), std::string::npos);
    auto removed = brell({"uninstall"});
    ASSERT_EQ(removed.exitStatus, 0);
    EXPECT_FALSE(FileSystem::exists(chrome));
    EXPECT_TRUE(FileSystem::exists(chromium));

    // A manifest written before the repository's own companion was served is still ours.
    FileSystem::writeAtomically(chrome,
                                R"({"name":"dev.brell.memory","path":"/opt/old/brell-memory-host",)"
                                R"("allowed_origins":["chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/"]})");
    EXPECT_NE(brell({"install", "--check"}).out.find("points at another build (/opt/old/brell-memory-host)"),
              std::string::npos);
    ASSERT_EQ(brell({"uninstall"}).exitStatus, 0);
    EXPECT_FALSE(FileSystem::exists(chrome));
    EXPECT_NE(brell({"uninstall"}).out.find("Nothing to remove"), std::string::npos);
}

TEST_F(InstallCommandsTest, DoctorAndHelp) {
    brell({"install"});
    auto r = brell({"doctor"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    for (const char* expected : {"Memory:  ", "full-text search available", "0 sources, 0 chunks", "Board:   ",
                                 "0 items", "Companion: never heard; load the extension and open a YouTube video",
                                 "Google Chrome: installed, points at this build"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    auto help = brell({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* group : {"Memory", "Recall", "Board", "Setup"}) {
        EXPECT_NE(help.out.find(group), std::string::npos) << group;
    }
}

} // namespace
} // namespace brell
