// Folder trees: listing, copying, swapping whole and removing.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Error.h"

namespace brell {
namespace {

class FolderTreeTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string a = temp.file("a");
    std::string b = temp.file("b");

    void SetUp() override {
        FileSystem::writeAtomically(a + "/manifest.json", "{}");
        FileSystem::writeAtomically(a + "/.hidden", "h");
        FileSystem::writeAtomically(a + "/deep/er/file.js", "x");
        FileSystem::writeAtomically(b + "/old.txt", "old");
    }

    std::vector<std::string> files(const std::string& folder) {
        auto list = FolderTree::regularFiles(folder);
        EXPECT_TRUE(list);
        std::sort(list->begin(), list->end());
        return *list;
    }
};

TEST_F(FolderTreeTest, ListsCopiesAndKeepsLinksAsLinks) {
    ASSERT_EQ(::symlink("/etc/hostname", (a + "/link").c_str()), 0);
    const std::vector<std::string> expected = {"/.hidden", "/deep/er/file.js", "/manifest.json"};
    EXPECT_EQ(files(a), expected) << "links are not regular files";
    EXPECT_EQ(FolderTree::regularFiles(temp.file("none")), std::nullopt);

    std::string c = temp.file("c");
    FolderTree::copy(a, c);
    EXPECT_EQ(files(c), expected);
    EXPECT_EQ(FileSystem::read(c + "/deep/er/file.js"), "x");
    EXPECT_EQ(FileSystem::permissions(c + "/manifest.json"), 0600u);
    EXPECT_EQ(FileSystem::permissions(c + "/deep"), 0700u);
    char target[64] = {};
    ASSERT_GT(::readlink((c + "/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/etc/hostname");

    EXPECT_THROW(FolderTree::copy(a, c), FileError) << "the destination must not exist";
    FolderTree::remove(c);
    EXPECT_FALSE(FileSystem::exists(c));
    EXPECT_TRUE(FileSystem::exists("/etc/hostname")) << "a link's target is never removed";
    FolderTree::remove(c); // already gone
}

TEST_F(FolderTreeTest, ExchangeSwapsBothWays) {
    for (auto swap : {FolderTree::exchange, FolderTree::exchangeByRenames}) {
        swap(a, b);
        EXPECT_EQ(files(a), std::vector<std::string>{"/old.txt"});
        EXPECT_EQ(FileSystem::read(b + "/manifest.json"), "{}");
        swap(a, b);
        EXPECT_EQ(files(b), std::vector<std::string>{"/old.txt"});
    }
    auto names = FolderTree::names(temp.path());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"a", "b"})) << "nothing set aside is left";
}

TEST_F(FolderTreeTest, AnExchangeThatFailsMidwayPutsTheOldItemBack) {
    // The staged item is missing, so the second rename fails after the first moved `b` aside.
    std::string missing = temp.file("staged");
    try {
        FolderTree::exchangeByRenames(missing, b);
        FAIL() << "no exception";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "failed to move " + missing + " to " + b + ": No such file or directory");
    }
    EXPECT_EQ(FileSystem::read(b + "/old.txt"), "old");
    auto names = FolderTree::names(temp.path());
    EXPECT_EQ(names->size(), 2u) << "nothing left aside";
    EXPECT_THROW(FolderTree::exchange(missing, b), FileError);
    EXPECT_EQ(FileSystem::read(b + "/old.txt"), "old");
}

} // namespace
} // namespace brell
