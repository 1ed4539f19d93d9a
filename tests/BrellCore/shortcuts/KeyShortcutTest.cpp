// Key labels, shortcut texts, the storage form and menu key equivalents.
#include <gtest/gtest.h>

#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/KeyShortcut.h"

namespace brell {
namespace {

const KeyModifiers hyper = KeyModifiers::control() | KeyModifiers::option() | KeyModifiers::command();

TEST(KeyCodeTest, LabelTablesHaveTheirSizesAndEveryLabelIsDistinct) {
    EXPECT_EQ(KeyCode::letters().size(), 26u);
    EXPECT_EQ(KeyCode::digits().size(), 10u);
    EXPECT_EQ(KeyCode::functionKeys().size(), 19u);
    EXPECT_EQ(KeyCode::labels().size(), 26u + 10u + 19u + 26u);
    std::set<std::string> seen;
    for (const auto& [code, label] : KeyCode::labels()) {
        EXPECT_TRUE(seen.insert(label).second) << "label used twice: " << label;
    }
}

TEST(KeyCodeTest, Labels) {
    struct Case {
        uint32_t code;
        std::optional<std::string> label;
    } cases[] = {
        {KeyCode::a, "A"},
        {KeyCode::z, "Z"},
        {KeyCode::n0, "0"},
        {KeyCode::n9, "9"},
        {KeyCode::f1, "F1"},
        {KeyCode::f19, "F19"},
        {KeyCode::grave, "`"},
        {KeyCode::quote, "'"},
        {KeyCode::backslash, "\\"},
        {KeyCode::space, "Space"},
        {KeyCode::escape, "Esc"},
        {KeyCode::deleteKey, "\u232B"},
        {KeyCode::returnKey, "\u21A9"},
        {KeyCode::keypadEnter, "\u2324"},
        {KeyCode::pageDown, "\u21DF"},
        {KeyCode::up, "\u2191"},
        {10, std::nullopt},  // the ISO section key has no label
        {52, std::nullopt},  // unused
        {54, std::nullopt},  // right command
        {127, std::nullopt}, // past the table
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(KeyCode::label(c.code), c.label);
    }
    for (uint32_t code = 0; code < 130; ++code) {
        EXPECT_EQ(KeyCode::isModifierOnly(code), code >= 54 && code <= 63) << code;
    }
}

TEST(KeyCodeTest, MenuKeyEquivalents) {
    struct Case {
        uint32_t code;
        std::optional<std::string> character;
    } cases[] = {
        {KeyCode::a, "a"},
        {KeyCode::m, "m"},
        {KeyCode::n5, "5"},
        {KeyCode::comma, ","},
        {KeyCode::grave, "`"},
        {KeyCode::space, " "},
        {KeyCode::returnKey, "\r"},
        {KeyCode::tab, "\t"},
        {KeyCode::deleteKey, "\b"},
        {KeyCode::escape, "\x1b"},
        {KeyCode::left, "\uF702"},
        {KeyCode::right, "\uF703"},
        {KeyCode::up, "\uF700"},
        {KeyCode::down, "\uF701"},
        {KeyCode::forwardDelete, "\uF728"},
        {KeyCode::f1, "\uF704"},
        {KeyCode::f12, "\uF70F"},
        {KeyCode::f19, "\uF716"},
        // Labelled, but menus have no character for them.
        {KeyCode::home, std::nullopt},
        {KeyCode::pageUp, std::nullopt},
        {KeyCode::keypadEnter, std::nullopt},
        {10, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(KeyCode::menuKeyEquivalent(c.code), c.character);
    }
}

TEST(KeyShortcutTest, TextsFollowTheModifierOrderWhateverTheBits) {
    KeyShortcut s(KeyCode::s, KeyModifiers(0x100 | 0x1000 | 0x800)); // built in another order
    EXPECT_EQ(s.display(), "\u2303\u2325\u2318S");
    EXPECT_EQ(s.spoken(), "Control Option Command S");
    EXPECT_EQ(s.keycaps(), (std::vector<std::string>{"\u2303", "\u2325", "\u2318", "S"}));
    EXPECT_EQ(s.storageString(), "1:6400");

    KeyShortcut all(KeyCode::space, KeyModifiers::all());
    EXPECT_EQ(all.display(), "\u2303\u2325\u21E7\u2318Space");
    EXPECT_EQ(all.spoken(), "Control Option Shift Command Space");

    KeyShortcut bare(10, KeyModifiers());
    EXPECT_EQ(bare.display(), "Key 10");
    EXPECT_EQ(bare.keycaps(), std::vector<std::string>{"Key 10"});
    EXPECT_EQ(bare.spoken(), "Key 10");
}

TEST(KeyShortcutTest, ConstructionDropsBitsOutsideTheFourModifiers) {
    KeyShortcut s(KeyCode::s, KeyModifiers(0xFFFFFFFF));
    EXPECT_EQ(s.modifiers, KeyModifiers::all());
    EXPECT_EQ(KeyModifiers::all().rawValue(), 6912u);
    EXPECT_EQ(std::hash<KeyShortcut>{}(s), std::hash<KeyShortcut>{}(KeyShortcut(KeyCode::s, KeyModifiers::all())));
}

TEST(KeyShortcutTest, ReadsTheStorageText) {
    struct Case {
        const char* text;
        std::optional<KeyShortcut> expected;
    } cases[] = {
        {"1:6400", KeyShortcut(KeyCode::s, hyper)},
        {"1:6401", KeyShortcut(KeyCode::s, hyper)}, // unknown bits dropped
        {"49:0", KeyShortcut(KeyCode::space, KeyModifiers())},
        {"::1::6400::", KeyShortcut(KeyCode::s, hyper)}, // empty pieces dropped
        {"1", std::nullopt},
        {"16400", std::nullopt},
        {"", std::nullopt},
        {":", std::nullopt},
        {"1:6400:2", std::nullopt},
        {"a:6400", std::nullopt},
        {"1:x", std::nullopt},
        {"-1:6400", std::nullopt},
        {"+1:6400", std::nullopt},
        {" 1:6400", std::nullopt},
        {"1:4294967296", std::nullopt}, // past 32 bits
        {"10:6400", std::nullopt},      // no label
        {"55:256", std::nullopt},       // command key itself
        {"1:4294967295", KeyShortcut(KeyCode::s, KeyModifiers::all())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(KeyShortcut::fromStorageString(c.text), c.expected);
    }
}

TEST(KeyShortcutTest, JsonForm) {
    KeyShortcut s(KeyCode::v, hyper);
    EXPECT_EQ(s.json(), Json::parse(R"({"keyCode":9,"modifiers":6400})"));
    EXPECT_EQ(KeyShortcut::fromJson(s.json()), s);
    for (const char* bad : {R"({"keyCode":9})", R"({"keyCode":-1,"modifiers":0})", R"({"keyCode":"9","modifiers":0})",
                            R"([9,6400])", R"({"keyCode":9,"modifiers":4294967296})"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(KeyShortcut::fromJson(Json::parse(bad)), std::nullopt);
    }
}

} // namespace
} // namespace brell
