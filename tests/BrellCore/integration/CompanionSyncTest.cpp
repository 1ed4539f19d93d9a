// Keeping the companion extension's folder equal to the source copy, and never touching
// somebody else's.
#include <gtest/gtest.h>
#include <unistd.h>

#include "BrellCore/integration/CompanionSync.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell {
namespace {

using Result = CompanionSync::Result;

class CompanionSyncTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string source = temp.file("app/Companion/chrome");
    std::string home = temp.file("home");
    std::string folder = CompanionSync::defaultFolder(home);

    void SetUp() override { makeExtension(source, "1.2.0", "S0VZ"); }

    static void makeExtension(const std::string& at, const std::string& version, std::optional<std::string> key) {
        Json m = {{"manifest_version", 3}, {"name", "BRELL Memory"}, {"version", version}};
        if (key) {
            m["key"] = *key;
        }
        FileSystem::writeAtomically(at + "/manifest.json", m.dump());
        FileSystem::writeAtomically(at + "/worker.js", "self.onmessage = () => {};\n");
        FileSystem::writeAtomically(at + "/icons/16.png", std::string("\x89PNG\0\1", 6));
        FileSystem::writeAtomically(at + "/.hidden", "kept too");
    }

    std::vector<std::string> entries(const std::string& dir) {
        auto names = FolderTree::names(dir);
        std::vector<std::string> out = names.value_or(std::vector<std::string>{});
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(CompanionSyncTest, InstallsThenFindsItUnchangedThenUpdates) {
    EXPECT_EQ(CompanionSync::plan(source, folder), Result::installed("1.2.0"));
    EXPECT_FALSE(FileSystem::exists(folder));
    Result first = CompanionSync::sync(source, folder);
    EXPECT_EQ(first, Result::installed("1.2.0"));
    EXPECT_FALSE(first.changedFiles());
    EXPECT_EQ(CompanionSync::fingerprint(folder), CompanionSync::fingerprint(source));
    EXPECT_EQ(FileSystem::read(folder + "/.hidden"), "kept too");
    EXPECT_EQ(entries(FileSystem::parentFolder(folder)), std::vector<std::string>{"chrome"}) << "no staging left";

    EXPECT_EQ(CompanionSync::sync(source, folder), Result::unchanged("1.2.0"));

    // One byte of one file changes, the version does not.
    FileSystem::writeAtomically(source + "/worker.js", "self.onmessage = () => {};\n!");
    EXPECT_EQ(CompanionSync::plan(source, folder), Result::updated("1.2.0", "1.2.0"));
    Result changed = CompanionSync::sync(source, folder);
    EXPECT_EQ(changed, Result::updated("1.2.0", "1.2.0"));
    EXPECT_TRUE(changed.changedFiles());
    EXPECT_EQ(FileSystem::read(folder + "/worker.js"), "self.onmessage = () => {};\n!");
    EXPECT_EQ(entries(FileSystem::parentFolder(folder)), std::vector<std::string>{"chrome"});

    // A newer version; a file the old copy had and the new one lacks is gone.
    FileSystem::writeAtomically(folder + "/old-only.js", "");
    FolderTree::remove(source);
    makeExtension(source, "1.3.0", "S0VZ");
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::updated("1.2.0", "1.3.0"));
    EXPECT_FALSE(FileSystem::exists(folder + "/old-only.js"));
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::unchanged("1.3.0"));
}

TEST_F(CompanionSyncTest, LeftoversOfAnInterruptedSyncGoButNothingElse) {
    const std::string parent = FileSystem::parentFolder(folder);
    const std::string uuid = "0f8e2a6c-1b2d-4c3e-9f40-5a6b7c8d9e0f";
    for (const std::string& name : {".chrome-staging" + uuid, ".chrome-removing" + uuid}) {
        FileSystem::writeAtomically(parent + "/" + name + "/manifest.json", "{}");
    }
    // Names that only look alike are somebody else's.
    const std::vector<std::string> kept = {".chrome-staging", ".chrome-staging-notes", ".other-staging" + uuid,
                                           "chrome-staging" + uuid};
    for (const std::string& name : kept) {
        FileSystem::writeAtomically(parent + "/" + name + "/keep.txt", "mine");
    }
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::installed("1.2.0"));
    std::vector<std::string> expected = kept;
    expected.push_back("chrome");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(parent), expected);
}

TEST_F(CompanionSyncTest, FingerprintCountsNamesAndBytesOnly) {
    auto print = CompanionSync::fingerprint(source);
    ASSERT_TRUE(print);
    EXPECT_TRUE(print->starts_with("1.2.0-"));
    EXPECT_EQ(print->size(), std::string("1.2.0-").size() + 64);
    FileSystem::writeAtomically(source + "/.DS_Store", "finder");
    FileSystem::writeAtomically(source + "/icons/.DS_Store", "finder");
    FileSystem::setPermissions(source + "/worker.js", 0644);
    EXPECT_EQ(CompanionSync::fingerprint(source), print) << ".DS_Store and permissions do not count";
    FileSystem::move(source + "/worker.js", source + "/worker2.js");
    EXPECT_NE(CompanionSync::fingerprint(source), print) << "a renamed file counts";
    FileSystem::writeAtomically(source + "/manifest.json", R"({"name":"no version"})");
    EXPECT_EQ(CompanionSync::fingerprint(source), std::nullopt);
    EXPECT_EQ(CompanionSync::fingerprint(temp.file("nowhere")), std::nullopt);
}

TEST_F(CompanionSyncTest, OwnershipAndForeignFolders) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> prepare; // builds the installed folder
        bool ours;
        Result result;
    };
    const Case cases[] = {
        {"absent", [](const std::string&) {}, true, Result::installed("1.2.0")},
        {"empty", [](const std::string& f) { FileSystem::makeFolders(f); }, true, Result::installed("1.2.0")},
        {"only .DS_Store", [](const std::string& f) { FileSystem::writeAtomically(f + "/.DS_Store", ""); }, true,
         Result::installed("1.2.0")},
        {"a stray file and no manifest",
         [](const std::string& f) { FileSystem::writeAtomically(f + "/notes.txt", "mine"); }, false, Result::foreign()},
        {"a manifest that is not JSON",
         [](const std::string& f) { FileSystem::writeAtomically(f + "/manifest.json", "{"); }, false,
         Result::foreign()},
        {"ours, older", [](const std::string& f) { makeExtension(f, "1.0.0", "S0VZ"); }, true,
         Result::updated("1.0.0", "1.2.0")},
        {"another key", [](const std::string& f) { makeExtension(f, "1.0.0", "T1RIRVI="); }, false, Result::foreign()},
        {"no key while the source has one", [](const std::string& f) { makeExtension(f, "1.0.0", std::nullopt); },
         false, Result::foreign()},
        {"ours without a version",
         [](const std::string& f) { FileSystem::writeAtomically(f + "/manifest.json", R"({"key":"S0VZ"})"); }, true,
         Result::updated("?", "1.2.0")},
        {"a file where the folder goes", [](const std::string& f) { FileSystem::writeAtomically(f, "a file"); }, false,
         Result::foreign()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderTree::remove(temp.file("home"));
        c.prepare(folder);
        auto before = FolderTree::regularFiles(folder);
        EXPECT_EQ(CompanionSync::isOurs(folder, source), c.ours);
        EXPECT_EQ(CompanionSync::sync(source, folder), c.result);
        if (!c.ours) {
            EXPECT_EQ(FolderTree::regularFiles(folder), before) << "nothing touched";
        } else {
            EXPECT_EQ(CompanionSync::fingerprint(folder), CompanionSync::fingerprint(source));
        }
    }
}

TEST_F(CompanionSyncTest, BothWithoutKeysAreOurs) {
    FolderTree::remove(source);
    makeExtension(source, "2.0", std::nullopt);
    makeExtension(folder, "1.0", std::nullopt);
    EXPECT_TRUE(CompanionSync::isOurs(folder, source));
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::updated("1.0", "2.0"));
}

TEST_F(CompanionSyncTest, NoSourceTouchesNothing) {
    makeExtension(folder, "1.0.0", "S0VZ");
    auto before = FolderTree::regularFiles(folder);
    EXPECT_EQ(CompanionSync::sync(std::nullopt, folder), Result::sourceMissing());
    EXPECT_EQ(CompanionSync::sync(temp.file("nowhere"), folder), Result::sourceMissing());
    FileSystem::writeAtomically(source + "/manifest.json", R"({"key":"S0VZ"})");
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::sourceMissing()) << "a source without a version";
    EXPECT_EQ(FolderTree::regularFiles(folder), before);
}

TEST_F(CompanionSyncTest, AFailedCopyOrSwapLeavesTheOldCopyWorking) {
    makeExtension(folder, "1.0.0", "S0VZ");
    auto before = CompanionSync::fingerprint(folder);
    struct Case {
        const char* name;
        CompanionSync::Steps steps;
    };
    auto failing = [](const std::string&, const std::string&) { throw FileError("failed to swap: Disk full"); };
    CompanionSync::Steps copyFails = CompanionSync::systemSteps();
    copyFails.copy = [](const std::string& from, const std::string& to) {
        FolderTree::copy(from + "/icons", to); // part of the tree is staged, then the copy fails
        throw FileError("failed to copy: Disk full");
    };
    CompanionSync::Steps swapFails = CompanionSync::systemSteps();
    swapFails.swap = failing;
    const Case cases[] = {{"copy", copyFails}, {"swap", swapFails}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = CompanionSync::sync(source, folder, c.steps);
        EXPECT_EQ(r.kind, Result::Kind::failed);
        EXPECT_EQ(r.message, std::string("failed to ") + c.name + ": Disk full");
        EXPECT_EQ(CompanionSync::fingerprint(folder), before) << "the old copy still works";
        EXPECT_EQ(entries(FileSystem::parentFolder(folder)), std::vector<std::string>{"chrome"})
            << "the staging copy is removed";
    }
    EXPECT_EQ(CompanionSync::sync(source, folder), Result::updated("1.0.0", "1.2.0")) << "and a later sync succeeds";
}

TEST_F(CompanionSyncTest, FirstInstallFailureLeavesNoFolder) {
    CompanionSync::Steps moveFails = CompanionSync::systemSteps();
    moveFails.move = [](const std::string&, const std::string&) { throw FileError("failed to move: Disk full"); };
    EXPECT_EQ(CompanionSync::sync(source, folder, moveFails), Result::failed("failed to move: Disk full"));
    EXPECT_EQ(entries(FileSystem::parentFolder(folder)), std::vector<std::string>{});
}

TEST_F(CompanionSyncTest, RemoveTakesAwayOnlyOurFolder) {
    using Removal = CompanionSync::Removal;
    std::string target = temp.file("elsewhere/chrome");
    struct Case {
        const char* name;
        std::function<void(const std::string&)> prepare; // builds the installed folder
        bool withSource;
        Removal::Kind result;
    };
    const Case cases[] = {
        {"absent", [](const std::string&) {}, true, Removal::Kind::absent},
        {"synced", [this](const std::string& f) { CompanionSync::sync(source, f); }, true, Removal::Kind::removed},
        {"ours, older, with a .DS_Store",
         [](const std::string& f) {
             makeExtension(f, "1.0.0", "S0VZ");
             FileSystem::writeAtomically(f + "/.DS_Store", "");
         },
         true, Removal::Kind::removed},
        {"empty", [](const std::string& f) { FileSystem::makeFolders(f); }, true, Removal::Kind::removed},
        {"another key", [](const std::string& f) { makeExtension(f, "1.0.0", "T1RIRVI="); }, true,
         Removal::Kind::foreign},
        {"no key while the source has one", [](const std::string& f) { makeExtension(f, "1.0.0", std::nullopt); }, true,
         Removal::Kind::foreign},
        {"a stray file and no manifest",
         [](const std::string& f) { FileSystem::writeAtomically(f + "/notes.txt", "mine"); }, true,
         Removal::Kind::foreign},
        {"a file where the folder goes", [](const std::string& f) { FileSystem::writeAtomically(f, "a file"); }, true,
         Removal::Kind::foreign},
        {"ours, but no source copy to compare keys with",
         [](const std::string& f) { makeExtension(f, "1.0.0", "S0VZ"); }, false, Removal::Kind::foreign},
        {"a link to a copy of ours elsewhere",
         [&target](const std::string& f) {
             makeExtension(target, "1.0.0", "S0VZ");
             FileSystem::makeFolders(FileSystem::parentFolder(f));
             ASSERT_EQ(::symlink(target.c_str(), f.c_str()), 0);
         },
         true, Removal::Kind::removed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderTree::remove(temp.file("home"));
        FolderTree::remove(temp.file("elsewhere"));
        c.prepare(folder);
        auto before = FolderTree::regularFiles(folder);
        Removal r = CompanionSync::remove(c.withSource ? std::optional(source) : std::nullopt, folder);
        EXPECT_EQ(r, (Removal{c.result, ""}));
        if (c.result == Removal::Kind::foreign) {
            EXPECT_EQ(FolderTree::regularFiles(folder), before) << "nothing touched";
        } else {
            EXPECT_FALSE(FileSystem::exists(folder));
            EXPECT_EQ(entries(FileSystem::parentFolder(folder)), std::vector<std::string>{}) << "nothing left beside";
        }
    }
    EXPECT_EQ(FileSystem::read(target + "/worker.js"), "self.onmessage = () => {};\n")
        << "a link is removed, never what it points at";
    EXPECT_EQ(FileSystem::read(source + "/worker.js"), "self.onmessage = () => {};\n") << "the source stays";
}

TEST(CompanionSyncIDTest, ExtensionID) {
    EXPECT_EQ(CompanionSync::extensionID("not base64!"), std::nullopt);
    auto id = CompanionSync::extensionID("S0VZ");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->size(), 32u);
    for (char c : *id) {
        EXPECT_TRUE(c >= 'a' && c <= 'p') << c;
    }
    // SHA-256("KEY") is 5ca24005b740717b...: each of the first 32 digits d becomes 'a' + d.
    EXPECT_EQ(*id, "fmkceaaflheahbhlkepdpglmeikcdaha");
    EXPECT_EQ(CompanionSync::defaultFolder("/Users/ann"),
              "/Users/ann/Library/Application Support/BRELL/Companion/chrome");
}

} // namespace
} // namespace brell
