// brell shortcut, brell help and brell setup as a new user runs them, against a
// temporary home folder.
#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

const std::string companion = "chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/";

class HelpCommandsTest : public ::testing::Test {
protected:
    test::TempFolder home;
    // PATH names only this folder, so which browsers are "installed" is up to the test.
    std::string bin = home.file("bin");

    void SetUp() override { FileSystem::makeFolders(bin); }

    std::map<std::string, std::string> env() const {
        return {{"HOME", home.path()},
                {"PATH", bin},
                {"BRELL_MEMORY_DB", home.file("Memory.sqlite")},
                {"BRELL_BOARD", home.file("board.json")},
                {"BRELL_SETTINGS", home.file("settings.json")}};
    }

    test::ProcessResult brell(std::vector<std::string> args) {
        test::ProcessOptions options;
        options.args = std::move(args);
        options.setEnv = env();
        options.unsetEnv = {"XDG_CONFIG_HOME", "XDG_DATA_HOME"};
        return test::run(test::binary("brell"), options);
    }

    void installChrome() {
        FileSystem::writeAtomically(bin + "/google-chrome", "#!/bin/sh\nexit 0\n");
        FileSystem::setPermissions(bin + "/google-chrome", 0700);
    }

    void companionSaysHello() {
        test::ProcessOptions options;
        options.args = {companion};
        options.input = test::frame(R"({"version":1,"type":"hello","requestId":"r1"})");
        options.setEnv = env();
        auto r = test::run(test::binary("brell-memory-host"), options);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }

    Json settings() const { return Json::parse(FileSystem::read(home.file("settings.json")).value_or("{}")); }
};

TEST_F(HelpCommandsTest, ShortcutCheckGivesTheVerdictAndItsSentence) {
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out;
        std::string err;
    } cases[] = {
        {{"shortcut", "check", "\u2303\u2325\u2318S"},
         0,
         "\u2303\u2325\u2318S (Control Option Command S) is acceptable for Save Selection.\n",
         ""},
        {{"shortcut", "check", "Ctrl-Option-Space", "--for", "visualMode"},
         1,
         "",
         "brell: \u2303\u2325Space is rejected for Visual Mode: macOS uses \u2303\u2325Space to switch input "
         "sources.\n"},
        {{"shortcut", "check", "control option command space", "--for", "visualMode"},
         0,
         "\u2303\u2325\u2318Space (Control Option Command Space) is acceptable for Visual Mode.\n",
         ""},
        {{"shortcut", "check", "cmd+shift+x"},
         0,
         "\u21E7\u2318X (Shift Command X) is acceptable for Save Selection, with a warning.\nMany apps use "
         "\u21E7\u2318 "
         "shortcuts. If \u21E7\u2318X stops working somewhere, pick a \u2303\u2325\u2318 one.\n",
         ""},
        {{"shortcut", "check", "\u2318Space"},
         1,
         "",
         "brell: \u2318Space is rejected for Save Selection: macOS uses \u2318Space for Spotlight.\n"},
        {{"shortcut", "check", "\u2318\u21E7S"},
         0,
         "\u21E7\u2318S (Shift Command S) is acceptable for Save Selection, with a warning.\nMany apps use "
         "\u21E7\u2318 "
         "shortcuts. If \u21E7\u2318S stops working somewhere, pick a \u2303\u2325\u2318 one.\n",
         ""},
        // The other action's current shortcut (its default here).
        {{"shortcut", "check", "ctrl+opt+cmd+v"},
         1,
         "",
         "brell: \u2303\u2325\u2318V is rejected for Save Selection: \u2303\u2325\u2318V is already the Visual Mode "
         "shortcut.\n"},
        {{"shortcut", "check", "cmd+shift"},
         1,
         "",
         "brell: \u2318Key 56 is rejected for Save Selection: BRELL can't use that key. Try a letter, number or "
         "F-key.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, c.exit);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(HelpCommandsTest, ShortcutCheckUsageErrorsAndJson) {
    auto r = brell({"shortcut", "check", "cmd+blah"});
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("\u201c"
                         "blah\u201d is not a key BRELL knows; write it like \u2303\u2325\u2318S, cmd+shift+s or "
                         "ctrl-option-space."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(brell({"shortcut", "check", "cmd+k", "--for", "saving"}).exitStatus, 2);
    EXPECT_EQ(brell({"shortcut", "check"}).exitStatus, 2);

    r = brell({"shortcut", "check", "\u2325\u2318i", "--json"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out), Json::parse(R"({"action":"fileSelection","shortcut":"⌥⌘I","spoken":"Option Command I",
        "storage":"34:2304","verdict":"warning",
        "message":"⌥⌘I opens developer tools in Chrome and Safari, and inspectors in many apps. BRELL would take it over."})"));
    r = brell({"shortcut", "check", "cmd+q", "--json"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(Json::parse(r.out)["verdict"], "rejected");
    EXPECT_EQ(Json::parse(r.out)["message"], "Every app uses \u2318Q (Quit, Close, Hide, Minimize).");
}

TEST_F(HelpCommandsTest, ShortcutsComeFromTheSettingsAndTheLegacyPresetIsCarriedOverOnce) {
    FileSystem::writeAtomically(home.file("settings.json"),
                                R"({"hotKey":"optionSpace","shortcut.visualMode":"none","other":1})");
    auto r = brell({"shortcut", "list"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("Save Selection  \u2325Space  Saves the selected text"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Visual Mode     off"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Edit menu:\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Ask BRELL\u2026                \u2318K\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Help menu:\n  Keyboard Shortcuts        \u2318/\n"), std::string::npos) << r.out;
    Json s = settings();
    EXPECT_EQ(s["shortcut.fileSelection"], "49:2048");
    EXPECT_EQ(s["other"], 1);

    // With visual mode off, its old default is free for saving.
    r = brell({"shortcut", "check", "\u2303\u2325\u2318V"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    // And saving's shortcut is taken for visual mode.
    r = brell({"shortcut", "check", "opt+space", "--for", "visualMode"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "brell: \u2325Space is rejected for Visual Mode: \u2325Space is already the Save Selection "
                     "shortcut.\n");

    Json list = Json::parse(brell({"shortcut", "list", "--json"}).out);
    EXPECT_EQ(list["global"][0]["shortcut"], "\u2325Space");
    EXPECT_EQ(list["global"][1]["shortcut"], nullptr);
    EXPECT_EQ(list["global"][1]["storage"], "none");
    EXPECT_EQ(list["commands"].size(), 26u);
}

TEST_F(HelpCommandsTest, HelpListsSearchesAndExports) {
    auto all = brell({"help"});
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    for (const char* expected :
         {"BRELL: Tips & FAQ\n", "\nWhen to use BRELL \u2014 Situations where BRELL saves you time, and what to do.\n",
          "\nTips \u2014 Small things worth knowing.\n", "  There's a purple dot in the menu bar.\n",
          "    \u2192 Open Sources & Privacy\n"}) {
        EXPECT_NE(all.out.find(expected), std::string::npos) << expected;
    }
    for (const auto& line : Text::split(all.out, '\n')) {
        EXPECT_LE(Text::characterCount(line), 80u) << line;
    }

    auto found = brell({"help", "purple", "DOT"});
    ASSERT_EQ(found.exitStatus, 0);
    EXPECT_EQ(found.out.rfind("  There's a purple dot in the menu bar.\n    macOS shows it", 0), 0u) << found.out;
    EXPECT_NE(found.out.find("    (Troubleshooting)\n"), std::string::npos);

    auto none = brell({"help", "zebra"});
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_EQ(none.out, "No help entry matches \u201czebra\u201d. Try fewer words, or run brell help to see every "
                        "entry.\n");

    EXPECT_EQ(brell({"help", "--markdown"}).out, test::fixture("help/help-default.md"));
    EXPECT_EQ(brell({"help", "--json"}).out, test::fixture("help/help-default.json") + "\n");
    EXPECT_EQ(brell({"help", "--markdown", "--json"}).exitStatus, 2);
    EXPECT_EQ(brell({"help", "--json", "pause"}).exitStatus, 2);

    // CLI11's own usage stays on --help.
    auto usage = brell({"help", "--help"});
    EXPECT_EQ(usage.exitStatus, 0);
    EXPECT_NE(usage.out.find("--markdown"), std::string::npos);
    EXPECT_EQ(usage.out.find("Tips & FAQ\n\n"), std::string::npos);

    // The user's own shortcut is the one the answers name.
    FileSystem::writeAtomically(home.file("settings.json"), R"({"shortcut.fileSelection":"1:2304"})");
    auto pause = brell({"help", "pause", "memory"});
    EXPECT_NE(pause.out.find("stays. \u2325\u2318S still"), std::string::npos) << pause.out;
    EXPECT_EQ(pause.out.find("\u2303\u2325\u2318S"), std::string::npos) << pause.out;
}

TEST_F(HelpCommandsTest, SetupSummaryOnAFreshHomeThenAfterMemoryOnAndInstall) {
    auto r = brell({"setup", "--summary"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "  ?    Whether \u2303\u2325\u2318S can read selected text can't be known on this system.\n"
                     "  off  Memory is off.\n"
                     "  off  Chrome isn't installed. Video and article memory need it.\n"
                     "  off  Screen memory is off (optional).\n"
                     "  off  No AI found. Search still works without it.\n");
    EXPECT_FALSE(FileSystem::exists(home.file("settings.json"))); // --summary remembers nothing

    ASSERT_EQ(brell({"memory", "on"}).exitStatus, 0);
    ASSERT_EQ(brell({"install"}).exitStatus, 0);
    installChrome();
    r = brell({"setup", "--summary"});
    EXPECT_EQ(r.out, "  ?    Whether \u2303\u2325\u2318S can read selected text can't be known on this system.\n"
                     "  on   Memory is on.\n"
                     "  off  The Chrome extension isn't added yet.\n"
                     "  off  Screen memory is off (optional).\n"
                     "  off  No AI found. Search still works without it.\n");

    companionSaysHello();
    ASSERT_EQ(brell({"memory", "pause"}).exitStatus, 0);
    ASSERT_EQ(brell({"screen", "on"}).exitStatus, 0);
    FileSystem::writeAtomically(home.file("settings.json"), R"({"aiProvider":"anthropic"})");
    r = brell({"setup", "--summary"});
    EXPECT_EQ(r.out, "  ?    Whether \u2303\u2325\u2318S can read selected text can't be known on this system.\n"
                     "  off  Memory is on but paused.\n"
                     "  on   Chrome is connected.\n"
                     "  ?    Screen memory is on; whether it has the Screen Recording permission can't be known on "
                     "this system.\n"
                     "  on   AI is set up.\n");
}

TEST_F(HelpCommandsTest, SetupWalksTheStepsAndRemembersWhatWasSeen) {
    struct Run {
        const char* heading;
        const char* next;
    } runs[] = {
        {"BRELL setup, step 1 of 6: Welcome\n", "Switch memory on with: brell memory on\n"},
        {"BRELL setup, step 2 of 6: Read your selection\n", "Save a quote from here with: brell board add-quote\n"},
        {"BRELL setup, step 3 of 6: Keep the page address\n", "Nothing to allow here.\n"},
        {"BRELL setup, step 4 of 6: Remember your screen\n", "Switch it on with: brell screen on\n"},
        {"BRELL setup, step 5 of 6: Add BRELL to Chrome\n", "Link Chrome to BRELL with: brell install\n"},
        // Seeing the Chrome step is not enough while Chrome is there to be linked.
        {"BRELL setup, step 5 of 6: Add BRELL to Chrome\n", "Link Chrome to BRELL with: brell install\n"},
    };
    installChrome();
    for (const auto& run : runs) {
        SCOPED_TRACE(run.heading);
        auto r = brell({"setup"});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.out.rfind(run.heading, 0), 0u) << r.out;
        EXPECT_NE(r.out.find(run.next), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nSummary:\n"), std::string::npos);
    }
    EXPECT_EQ(settings()["onboardingSeen"], Json::parse(R"(["welcome","capture","browser","screen","chrome"])"));

    ASSERT_EQ(brell({"install"}).exitStatus, 0);
    auto r = brell({"setup"});
    EXPECT_NE(r.out.find("Add the BRELL companion extension to Chrome"), std::string::npos) << r.out;
    companionSaysHello();
    r = brell({"setup"});
    EXPECT_EQ(r.out.rfind("BRELL setup, step 6 of 6: Done\n\n"
                          "  done        1. Welcome\n"
                          "  can't tell  2. Read your selection\n"
                          "  done        3. Keep the page address (optional)\n"
                          "  done        4. Remember your screen (optional)\n"
                          "  done        5. Add BRELL to Chrome\n"
                          "  now         6. Done\n\n"
                          "Setup is done. Find your way around with: brell help\n",
                          0),
              0u)
        << r.out;
}

} // namespace
} // namespace brell
