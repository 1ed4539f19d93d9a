// The brell application's visual commands, run as the recorder that hands pictures in
// and as the user who browses, stars, annotates and deletes them.
#include <gtest/gtest.h>

#include "BrellMemory/visual/TinyJpeg.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

class VisualCommandsTest : public ::testing::Test {
protected:
    test::AppHome home;
    std::string visual = home.file("Visual");

    test::ProcessResult brell(std::vector<std::string> args, std::string input = "") {
        return home.brell(std::move(args), std::move(input));
    }
    std::string ok(std::vector<std::string> args, std::string input = "") {
        auto r = brell(std::move(args), std::move(input));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return r.out;
    }
    Json json(std::vector<std::string> args) {
        args.push_back("--json");
        return Json::parse(ok(std::move(args)));
    }
    // A real JPEG file made for the test.
    std::string picture(uint8_t variant) {
        std::string path = home.file("shot" + std::to_string(variant) + ".jpg");
        FileSystem::writeAtomically(path, test::tinyJpeg(variant));
        return path;
    }
    std::string start(const std::string& name, const std::string& title) {
        std::string out =
            ok({"visual", "start", "--app-id", "org.example." + name, "--app-name", name, "--title", title});
        EXPECT_FALSE(out.empty());
        return out.substr(0, out.size() - 1);
    }
    std::vector<std::string> pictures() {
        std::vector<std::string> out;
        for (const auto& folder : FolderTree::entries(visual)) {
            for (const auto& file : FolderTree::entries(visual + "/" + folder.name)) {
                out.push_back(folder.name + "/" + file.name);
            }
        }
        return out;
    }
};

TEST_F(VisualCommandsTest, ASessionIsRecordedBrowsedStarredAndDeleted) {
    std::string id = start("Blender", "wing.blend");
    EXPECT_EQ(id, "1");
    EXPECT_EQ(ok({"visual", "add", id, picture(1), "--text", "Viewport\nModifiers"}), "Added frame 1 to session 1.\n");
    FileSystem::writeAtomically(home.file("window.txt"), "Modifiers\nSubdivision surface\n");
    EXPECT_EQ(ok({"visual", "add", id, picture(2), "--text-file", home.file("window.txt")}),
              "Added frame 2 to session 1.\n");
    EXPECT_EQ(ok({"visual", "add", id, picture(3), "--text", "-"}, "Render\n"), "Added frame 3 to session 1.\n");
    EXPECT_EQ(ok({"visual", "end", id}), "Session 1 ended with 3 pictures.\n");
    EXPECT_EQ(pictures(), (std::vector<std::string>{"1/000001.jpg", "1/000002.jpg", "1/000003.jpg"}));
    EXPECT_EQ(FileSystem::read(visual + "/1/000002.jpg"), test::tinyJpeg(2));
    EXPECT_EQ(FileSystem::permissions(visual + "/1"), 0700u);
    EXPECT_EQ(FileSystem::permissions(visual + "/1/000001.jpg"), 0600u);

    EXPECT_EQ(ok({"visual", "note", id, "the", "wing", "fillet"}), "Note saved.\n");
    EXPECT_EQ(ok({"visual", "star", "2"}), "Frame 2 is starred.\n");
    Json shown = json({"visual", "show", id});
    EXPECT_EQ(shown["note"], "the wing fillet");
    EXPECT_EQ(shown["text"], "Viewport\nModifiers\nSubdivision surface\nRender");
    EXPECT_EQ(shown["userPicked"], true);
    ASSERT_EQ(shown["pictures"].size(), 3u);
    EXPECT_EQ(shown["pictures"][1]["starred"], true);
    EXPECT_EQ(shown["pictures"][1]["shared"], true);
    EXPECT_EQ(shown["pictures"][0]["shared"], false);
    EXPECT_EQ(shown["pictures"][1]["file"], visual + "/1/000002.jpg");
    std::string text = ok({"visual", "show", id});
    EXPECT_NE(text.find("Session 1: Blender \u2014 wing.blend\n"), std::string::npos) << text;
    EXPECT_NE(text.find("3 pictures; an assistant would see 1 (the starred ones)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  #2  "), std::string::npos);

    std::string other = start("Figma", "pricing chart");
    ok({"visual", "add", other, picture(4)});
    Json listed = json({"visual", "list"});
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["id"], 2);
    EXPECT_EQ(listed[1]["label"], "Blender \u2014 wing.blend");
    EXPECT_EQ(listed[1]["frames"], 3);
    Json found = json({"visual", "search", "subdivision"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["id"], 1);
    EXPECT_EQ(ok({"visual", "search", "volcano"}), "No visual session matches \u201cvolcano\u201d.\n");

    EXPECT_EQ(ok({"visual", "star", "2", "--off"}), "Frame 2 is no longer starred.\n");
    EXPECT_EQ(ok({"visual", "delete", "--frame", "1"}), "Deleted frame 1.\n");
    EXPECT_EQ(ok({"visual", "delete", "--frame", "4"}),
              "Deleted frame 4. It was the last of session 2, which is deleted too.\n");
    EXPECT_EQ(pictures(), (std::vector<std::string>{"1/000002.jpg", "1/000003.jpg"}));
    EXPECT_EQ(ok({"visual", "delete", id}), "Deleted session 1 and its 2 pictures.\n");
    EXPECT_TRUE(pictures().empty());
    EXPECT_EQ(ok({"visual", "list"}), "No visual sessions.\n");
}

TEST_F(VisualCommandsTest, OnlyJpegPicturesOfAKnownSessionAreStored) {
    std::string id = start("Preview", "chart.pdf");
    FileSystem::writeAtomically(home.file("chart.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    std::string cut = test::tinyJpeg();
    FileSystem::writeAtomically(home.file("cut.jpg"), cut.substr(0, cut.size() - 2));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {"a PNG",
         {"visual", "add", id, home.file("chart.png")},
         "brell: " + home.file("chart.png") + " is not a JPEG picture; Visual mode keeps JPEG pictures only.\n"},
        {"a JPEG cut short",
         {"visual", "add", id, home.file("cut.jpg")},
         "brell: " + home.file("cut.jpg") + " is not a JPEG picture; Visual mode keeps JPEG pictures only.\n"},
        {"no file",
         {"visual", "add", id, home.file("none.jpg")},
         "brell: there is no picture at " + home.file("none.jpg") + ".\n"},
        {"an unknown session",
         {"visual", "add", "7", picture(1)},
         "brell: there is no visual session 7; list them with: brell visual list\n"},
        {"an unknown frame",
         {"visual", "star", "9"},
         "brell: there is no visual frame 9; see a session's frames with: brell visual show SESSION\n"},
        {"showing an unknown session",
         {"visual", "show", "7"},
         "brell: there is no visual session 7; list them with: brell visual list\n"},
        {"an excluded app",
         {"visual", "start", "--app-id", "com.1password.1password", "--app-name", "1Password"},
         "brell: Visual mode never records 1Password (com.1password.1password): it is on the list of excluded "
         "apps.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, c.error);
        EXPECT_TRUE(pictures().empty());
    }
    EXPECT_EQ(json({"visual", "show", id})["pictures"].size(), 0u);
    EXPECT_EQ(ok({"visual", "end", id}), "Session 1 had no pictures and was discarded.\n");
    EXPECT_EQ(brell({"visual", "delete"}).exitStatus, 2);
    EXPECT_EQ(brell({"visual", "delete", "1", "--frame", "2"}).exitStatus, 2);
}

} // namespace
} // namespace brell
