// The help entries, their search, and the two exports (golden files under
// tests/data/help/, read by one runner).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "BrellCore/help/HelpContent.h"
#include "platform/FileSystem.h"
#include "support/Golden.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

const HelpShortcuts custom{"\u2325\u2318J", "\u21E7\u2318F6"};

std::vector<std::string> ids(const std::vector<HelpEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) {
        out.push_back(e.id);
    }
    return out;
}

// The exports are compared with their golden files byte for byte.
void expectGolden(const std::string& name, const std::string& text) {
    test::expectGolden("help/" + name, text);
}

TEST(HelpContentTest, ExportsMatchTheirGoldenFiles) {
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"help-default.md", HelpContent::markdown(HelpShortcuts::defaults())},
        {"help-default.json", HelpContent::json(HelpShortcuts::defaults())},
        {"help-custom-shortcuts.md", HelpContent::markdown(custom)},
    };
    for (const auto& c : cases) {
        expectGolden(c.name, c.text);
    }
}

TEST(HelpContentTest, EntriesInSectionOrderWithUniqueIds) {
    const auto all = HelpContent::entries(HelpShortcuts::defaults());
    ASSERT_EQ(all.size(), 34u);
    std::set<std::string> unique;
    int last = 0;
    std::map<HelpSection, int> perSection;
    for (const auto& e : all) {
        EXPECT_TRUE(unique.insert(e.id).second) << e.id;
        EXPECT_GE(static_cast<int>(e.section), last) << e.id;
        last = static_cast<int>(e.section);
        ++perSection[e.section];
        EXPECT_FALSE(e.body.empty()) << e.id;
        EXPECT_FALSE(e.keywords.empty()) << e.id;
    }
    EXPECT_EQ(perSection[HelpSection::whenToUse], 7);
    EXPECT_EQ(perSection[HelpSection::howItWorks], 7);
    EXPECT_EQ(perSection[HelpSection::privacy], 5);
    EXPECT_EQ(perSection[HelpSection::troubleshooting], 8);
    EXPECT_EQ(perSection[HelpSection::tips], 7);
    EXPECT_EQ(all.front().id, "use-quotes");
    EXPECT_EQ(all.back().id, "tip-mute");
}

TEST(HelpContentTest, ShortcutLabelsAreSplicedIn) {
    std::map<std::string, HelpEntry> byID;
    for (auto& e : HelpContent::entries(custom)) {
        byID.emplace(e.id, e);
    }
    const std::string save = custom.fileSelection;
    const std::string visual = custom.visualMode;
    EXPECT_EQ(byID.at("use-quotes")
                  .body.rfind("Select the passage in any app, press " + save +
                                  ", then \u2192 to save it to Evidence. Each quote keeps its source, "
                                  "and Copy Markdown gives you the quote with its link.",
                              0),
              0u);
    EXPECT_EQ(byID.at("use-visual").body.rfind("Press " + visual, 0), 0u);
    EXPECT_EQ(byID.at("how-save").body.rfind("Select text in any app and press " + save, 0), 0u);
    EXPECT_EQ(byID.at("how-visual").body.rfind("Press " + visual, 0), 0u);
    const std::string pause = byID.at("privacy-pause").body;
    const std::string tail = save + " still works while Memory is paused.";
    EXPECT_EQ(pause.substr(pause.size() - tail.size()), tail);
    EXPECT_EQ(byID.at("fix-shortcut").body,
              "BRELL must be running: its icon is in the menu bar. If another app already uses " + save +
                  ", BRELL can't register it; Settings \u2192 General shows that it's taken, and you can record "
                  "another one there.");
    EXPECT_EQ(byID.at("tip-keys").body,
              "\u2318K puts the cursor in Ask from anywhere in the window, \u23181 to \u23185 switch sections, and the "
              "arrow keys move through the sidebar and lists. Help \u2192 Keyboard Shortcuts (\u2318/) lists them "
              "all.");
    // The default labels appear nowhere once the user has others.
    for (const auto& [id, e] : byID) {
        EXPECT_EQ(e.body.find("\u2303\u2325\u2318S"), std::string::npos) << id;
        EXPECT_EQ(e.body.find("\u2303\u2325\u2318V"), std::string::npos) << id;
    }
}

TEST(HelpContentTest, Search) {
    const auto all = HelpContent::entries(HelpShortcuts::defaults());
    struct Case {
        const char* query;
        std::vector<std::string> ids;
    } cases[] = {
        // Words found in different fields still match: "grok" is a keyword, "connector" in the body.
        {"grok connector", {"how-assistants"}},
        {"GROK", {"how-assistants"}},
        {"purple dot", {"fix-purple-dot"}},
        // Accents and case ignored: the keyword is "resume".
        {"R\u00C9SUM\u00C9", {"use-pick-up", "privacy-pause"}},
        // The section title is part of the haystack.
        {"troubleshooting shortcut", {"fix-shortcut"}},
        {"  purple   dot  ", {"fix-purple-dot"}},
        {"zebra", {}},
        {"purple zebra", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(ids(HelpContent::search(c.query, all)), c.ids);
    }
    for (const char* everything : {"", " ", "    "}) {
        SCOPED_TRACE(everything);
        EXPECT_EQ(HelpContent::search(everything, all).size(), 34u);
    }
}

TEST(HelpEntryTest, MatchesIgnoresAccentsBothWays) {
    HelpEntry e{"x", HelpSection::tips, "Caf\u00E9 notes", "Na\u00EFve body", std::nullopt, {"R\u00E9sum\u00E9"}};
    for (const char* query : {"cafe", "CAF\u00C9", "naive", "resume", "r\u00E9sum\u00E9 cafe", "tips"}) {
        SCOPED_TRACE(query);
        EXPECT_TRUE(e.matches(query));
    }
    EXPECT_FALSE(e.matches("cafe zebra"));
}

TEST(HelpContentTest, BestFirstPutsTitleMatchesBeforeKeywordAndBodyMatches) {
    const auto all = HelpContent::entries(HelpShortcuts::defaults());
    // "shortcut": a title word in fix-shortcut, a keyword of how-save and tip-keys, and
    // the body of others; list order within each rank.
    auto found = ids(HelpContent::searchBestFirst("shortcut", all));
    auto plain = ids(HelpContent::search("shortcut", all));
    EXPECT_EQ(std::multiset<std::string>(found.begin(), found.end()),
              std::multiset<std::string>(plain.begin(), plain.end()));
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(found[0], "fix-shortcut");
    EXPECT_EQ(found[1], "how-save");
    EXPECT_EQ(found[2], "tip-keys");
}

TEST(HelpContentTest, JsonCarriesActionOnlyWhenThereIsOne) {
    Json all = Json::parse(HelpContent::json(HelpShortcuts::defaults()));
    ASSERT_TRUE(all.is_array());
    ASSERT_EQ(all.size(), 34u);
    int withoutAction = 0;
    for (const auto& item : all) {
        const std::string id = item["id"];
        SCOPED_TRACE(id);
        if (id == "tip-clipboard" || id == "tip-seen") {
            EXPECT_FALSE(item.contains("action"));
            ++withoutAction;
            EXPECT_EQ(item.size(), 4u);
        } else {
            EXPECT_TRUE(item["action"].is_string());
            EXPECT_TRUE(HelpDestinations::fromRaw(item["action"].get<std::string>()));
        }
    }
    EXPECT_EQ(withoutAction, 2);
    EXPECT_EQ(all[0]["section"], "When to use BRELL");
    EXPECT_EQ(all[0]["action"], "evidence");
}

TEST(HelpContentTest, JsonThatCannotBeSerialisedIsAnEmptyArray) {
    EXPECT_EQ(HelpContent::json({"\xff\xfe", "\u2303\u2325\u2318V"}), "[]");
}

TEST(HelpDestinationTest, RawValuesAndButtons) {
    struct Case {
        HelpDestination d;
        const char* raw;
        const char* button;
    } cases[] = {
        {HelpDestination::brells, "brells", "Open Brells"},
        {HelpDestination::ask, "ask", "Ask Brell"},
        {HelpDestination::activity, "activity", "Open Activity"},
        {HelpDestination::saved, "saved", "Open Saved"},
        {HelpDestination::evidence, "evidence", "Open Evidence"},
        {HelpDestination::sourcesPrivacy, "sourcesPrivacy", "Open Sources & Privacy"},
        {HelpDestination::aiConnections, "aiConnections", "Open AI Connections"},
        {HelpDestination::privacyData, "privacyData", "Open Privacy & Data"},
        {HelpDestination::catchUp, "catchUp", "Catch Me Up"},
        {HelpDestination::settings, "settings", "Open Settings"},
        {HelpDestination::keyboardShortcuts, "keyboardShortcuts", "Keyboard Shortcuts"},
        {HelpDestination::setupGuide, "setupGuide", "Open Setup Guide"},
        {HelpDestination::accessibilitySettings, "accessibilitySettings", "Open Accessibility Settings"},
        {HelpDestination::screenRecordingSettings, "screenRecordingSettings", "Open Screen Recording Settings"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(HelpDestinations::rawValue(c.d), c.raw);
        EXPECT_EQ(HelpDestinations::buttonTitle(c.d), c.button);
        EXPECT_EQ(HelpDestinations::fromRaw(c.raw), c.d);
    }
    EXPECT_EQ(HelpDestinations::fromRaw("Brells"), std::nullopt);
}

TEST(HelpShortcutsTest, LabelsOfTheUsersShortcuts) {
    EXPECT_EQ(HelpShortcuts::defaults(), (HelpShortcuts{"\u2303\u2325\u2318S", "\u2303\u2325\u2318V"}));
    auto current = ShortcutSetting::resolveAll([](const std::string& key) -> std::optional<std::string> {
        if (key == "shortcut.fileSelection") {
            return "none";
        }
        if (key == "shortcut.visualMode") {
            return "9:768"; // shift+command V
        }
        return std::nullopt;
    });
    EXPECT_EQ(HelpShortcuts::of(current), (HelpShortcuts{"\u2303\u2325\u2318S", "\u21E7\u2318V"}));
}

} // namespace
} // namespace brell
