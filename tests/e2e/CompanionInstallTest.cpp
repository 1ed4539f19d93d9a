// brell install and uninstall on a copy installed into a prefix: install places the
// companion extension in the folder the browser loads it from and points "Load
// unpacked" there, uninstall takes away that folder only when it is BRELL's, and a
// folder holding somebody else's extension is never touched.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using Snapshot = std::map<std::string, std::string>;

class CompanionInstallTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string home = temp.file("home");
    std::string data = temp.file("home/data");
    std::string prefix = temp.file("opt/brell");
    std::string source = prefix + "/share/brell/companion/chrome";
    std::string folder = data + "/BRELL/Companion/chrome";
    std::string chrome = home + "/.config/google-chrome/NativeMessagingHosts/dev.brell.memory.json";

    // An installed tree as `make install PREFIX=<prefix>` lays it out, with the
    // companion's source copy when `withCompanion`.
    void install(bool withCompanion = true) {
        for (const char* program : {"brell", "brell-memory-host"}) {
            std::string to = prefix + "/bin/" + program;
            FileSystem::writeAtomically(to, *FileSystem::read(test::binary(program)));
            FileSystem::setPermissions(to, 0755);
        }
        if (withCompanion) {
            extension(source, "1.0", "S0VZ");
        }
    }

    static void extension(const std::string& at, const std::string& version, const std::string& key) {
        FileSystem::writeAtomically(at + "/manifest.json",
                                    Json{{"manifest_version", 3}, {"version", version}, {"key", key}}.dump());
        FileSystem::writeAtomically(at + "/worker.js", "// the service worker " + version + "\n");
    }

    test::ProcessResult brell(std::vector<std::string> args) {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.setEnv = {{"HOME", home},
                          {"XDG_DATA_HOME", data},
                          {"BRELL_MEMORY_DB", temp.file("memory/Memory.sqlite")},
                          {"BRELL_BOARD", temp.file("memory/board.json")}};
        options.unsetEnv = {"XDG_CONFIG_HOME"};
        return test::run(prefix + "/bin/brell", options);
    }

    // Every file under the home folder and the installed tree's share folder.
    Snapshot snapshot() {
        Snapshot files;
        for (const std::string& root : {home, prefix + "/share"}) {
            for (const auto& relative : FolderTree::regularFiles(root).value_or(std::vector<std::string>{})) {
                files[root + relative] = *FileSystem::read(root + relative);
            }
        }
        return files;
    }

    Snapshot filesIn(const std::string& root) {
        Snapshot files;
        for (const auto& relative : FolderTree::regularFiles(root).value_or(std::vector<std::string>{})) {
            files[relative] = *FileSystem::read(root + relative);
        }
        return files;
    }

    std::string loadUnpacked() const {
        return "One step is left in the browser: open chrome://extensions, switch on Developer mode, choose \"Load "
               "unpacked\" and pick " +
               folder + "\n";
    }
};

TEST_F(CompanionInstallTest, InstallPlacesTheExtensionAndUninstallTakesItAway) {
    install();
    struct Step {
        const char* name;
        std::string version; // of the source copy before the run
        std::string expected;
    };
    const Step steps[] = {
        {"first install", "1.0", "Companion extension: installed version 1.0\n" + loadUnpacked()},
        {"again at once", "1.0", "Companion extension: version 1.0, unchanged\n" + loadUnpacked()},
        {"a newer source copy", "1.1",
         "Companion extension: updated from version 1.0 to 1.1\nBRELL updated its Chrome extension: press Reload on "
         "BRELL Memory in chrome://extensions.\n" +
             loadUnpacked()},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        extension(source, step.version, "S0VZ");
        auto r = brell({"install"});
        ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
        EXPECT_TRUE(r.out.ends_with(step.expected)) << r.out;
        EXPECT_EQ(r.out.find(source), std::string::npos) << "the browser is never sent to the source copy";
        EXPECT_EQ(filesIn(folder), filesIn(source));
    }
    EXPECT_EQ(FolderTree::names(data + "/BRELL/Companion"), std::vector<std::string>{"chrome"}) << "nothing staged";

    Snapshot sourceBefore = filesIn(source);
    auto r = brell({"uninstall"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("Removed " + chrome + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Removed " + folder + "\n"), std::string::npos) << r.out;
    EXPECT_FALSE(FileSystem::exists(folder));
    EXPECT_EQ(FolderTree::names(data + "/BRELL/Companion"), std::vector<std::string>{}) << "nothing left beside";
    EXPECT_EQ(filesIn(source), sourceBefore) << "the source copy stays";

    r = brell({"uninstall"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "Nothing to remove: no BRELL manifest or companion extension is installed.\n");
}

TEST_F(CompanionInstallTest, AFolderThatIsNotOursIsLeftAlone) {
    install();
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"another extension", [this] { extension(folder, "9.0", "T1RIRVI="); }},
        {"an extension without a key", [this] { FileSystem::writeAtomically(folder + "/manifest.json", "{}"); }},
        {"unrelated files", [this] { FileSystem::writeAtomically(folder + "/notes.txt", "mine"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderTree::remove(data);
        c.prepare();
        Snapshot before = snapshot();

        auto r = brell({"install"});
        EXPECT_EQ(r.exitStatus, 1) << r.out;
        EXPECT_TRUE(r.out.ends_with("Companion extension: " + folder + " holds another extension; left alone\n"))
            << r.out;
        EXPECT_EQ(r.err, "brell: " + folder +
                             " holds an extension that is not BRELL's; move it elsewhere, then run brell install "
                             "again.\n");
        Snapshot after = snapshot();
        after.erase(chrome);
        after.erase(home + "/.config/chromium/NativeMessagingHosts/dev.brell.memory.json");
        EXPECT_EQ(after, before) << "only the browsers' manifests were written";

        r = brell({"uninstall"});
        ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
        EXPECT_NE(r.out.find("Left alone: " + folder + " holds an extension that is not BRELL's.\n"), std::string::npos)
            << r.out;
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(CompanionInstallTest, AFolderThatCannotBeMadeIsAFailure) {
    install();
    FileSystem::writeAtomically(data + "/BRELL/Companion", "a file");
    auto r = brell({"install"});
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_TRUE(r.out.ends_with("Companion extension: could not be placed: failed to create folder " + data +
                                "/BRELL/Companion: Not a directory\n"))
        << r.out;
    EXPECT_EQ(r.err, "brell: the companion extension could not be placed in " + folder +
                         "; fix what the line above names, then run brell install again.\n");
    EXPECT_EQ(FileSystem::read(data + "/BRELL/Companion"), "a file");
}

TEST_F(CompanionInstallTest, ACopyWithoutTheExtensionSaysWhereToFindIt) {
    install(false);
    auto r = brell({"install"});
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    EXPECT_TRUE(r.out.ends_with("Companion extension: this copy carries no extension (" + source +
                                ")\nLoad it with \"Load unpacked\" in chrome://extensions from the companion/chrome "
                                "folder of a copy of the source tree.\n"))
        << r.out;
    EXPECT_FALSE(FileSystem::exists(folder));
}

} // namespace
} // namespace brell
