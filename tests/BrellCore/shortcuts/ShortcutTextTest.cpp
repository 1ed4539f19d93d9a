// Reading shortcuts as people write them, and refusing what names no key.
#include <gtest/gtest.h>

#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/ShortcutText.h"

namespace brell {
namespace {

constexpr uint32_t ctl = KeyModifiers::controlMask;
constexpr uint32_t opt = KeyModifiers::optionMask;
constexpr uint32_t sft = KeyModifiers::shiftMask;
constexpr uint32_t cmd = KeyModifiers::commandMask;

TEST(ShortcutTextTest, ReadsTheFormsPeopleWrite) {
    struct Case {
        const char* text;
        uint32_t key;
        uint32_t modifiers;
    } cases[] = {
        {"\u2318\u21E7S", KeyCode::s, cmd | sft},
        {"\u2303\u2325\u2318S", KeyCode::s, ctl | opt | cmd},
        {"cmd+shift+s", KeyCode::s, cmd | sft},
        {"Ctrl-Option-Space", KeyCode::space, ctl | opt},
        {"control option command v", KeyCode::v, ctl | opt | cmd},
        {"  CMD + SHIFT + S  ", KeyCode::s, cmd | sft},
        {"alt+f5", KeyCode::f5, opt},
        {"opt-F19", KeyCode::f19, opt},
        {"ctl+cmd+q", KeyCode::q, ctl | cmd},
        {"\u2318+K", KeyCode::k, cmd},
        {"\u2318 K", KeyCode::k, cmd},
        {"cmd\u21E7z", KeyCode::z, cmd | sft},
        {"\u2325\u2318Space", KeyCode::space, opt | cmd},
        {"cmd+3", KeyCode::n3, cmd},
        {"s", KeyCode::s, 0},
        {"Shift+S", KeyCode::s, sft},
        // A "+" or "-" that is the key itself.
        {"\u2318-", KeyCode::minus, cmd},
        {"cmd+-", KeyCode::minus, cmd},
        {"ctrl--", KeyCode::minus, ctl},
        {"cmd =", KeyCode::equal, cmd},
        {"\u2303\u2325\u2318,", KeyCode::comma, ctl | opt | cmd},
        {"cmd+`", KeyCode::grave, cmd},
        {"cmd+\\", KeyCode::backslash, cmd},
        // Key names and labels.
        {"ctrl+option+left", KeyCode::left, ctl | opt},
        {"\u2303\u2325\u2190", KeyCode::left, ctl | opt},
        {"cmd+page up", KeyCode::pageUp, cmd},
        {"cmd+Page-Down", KeyCode::pageDown, cmd},
        {"cmd+return", KeyCode::returnKey, cmd},
        {"cmd+enter", KeyCode::returnKey, cmd},
        {"cmd+backspace", KeyCode::deleteKey, cmd},
        {"\u2318\u232B", KeyCode::deleteKey, cmd},
        {"opt+cmd+esc", KeyCode::escape, opt | cmd},
        {"cmd+tab", KeyCode::tab, cmd},
        {"ctrl+space bar", KeyCode::space, ctl},
        // Modifier names as the key: the key that only modifies.
        {"shift+cmd", KeyCode::command, sft},
        {"cmd+shift", KeyCode::shift, cmd},
        {"\u2318", KeyCode::command, 0},
        {"ctrl option", KeyCode::option, ctl},
        // The label of a key without one reads back.
        {"cmd+Key 10", 10, cmd},
        {"\u2318Key 54", 54, cmd},
        // Repeats are one modifier.
        {"cmd+cmd+s", KeyCode::s, cmd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = ShortcutText::parse(c.text);
        ASSERT_TRUE(parsed.shortcut) << parsed.refusal;
        EXPECT_EQ(*parsed.shortcut, KeyShortcut(c.key, KeyModifiers(c.modifiers)));
        EXPECT_EQ(parsed.refusal, "");
    }
}

TEST(ShortcutTextTest, RefusesTextsThatNameNoKey) {
    const std::string how = "write it like \u2303\u2325\u2318S, cmd+shift+s or ctrl-option-space.";
    struct Case {
        const char* text;
        std::string refusal;
    } cases[] = {
        {"", "The shortcut is empty; " + how},
        {"   ", "The shortcut is empty; " + how},
        {"cmd+blah", "\u201c"
                     "blah\u201d is not a key BRELL knows; " +
                         how},
        {"cmd++", "\u201c+\u201d is not a key BRELL knows; " + how},
        {"hyper+s", "\u201chyper+s\u201d is not a key BRELL knows; " + how},
        {"cmd+f20", "\u201c"
                    "f20\u201d is not a key BRELL knows; " +
                        how},
        {"cmd+key", "\u201ckey\u201d is not a key BRELL knows; " + how},
        {"cmd+key99999999999", "\u201ckey99999999999\u201d is not a key BRELL knows; " + how},
        {"cmds+s", "\u201c"
                   "cmds+s\u201d is not a key BRELL knows; " +
                       how},
        {"cmd+\xff", "\u201c\uFFFD\u201d is not a key BRELL knows; " + how},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = ShortcutText::parse(c.text);
        EXPECT_EQ(parsed.shortcut, std::nullopt);
        EXPECT_EQ(parsed.refusal, c.refusal);
    }
}

// What a shortcut displays reads back as the same shortcut, for every labelled key and
// every modifier combination.
TEST(ShortcutTextTest, EveryDisplayReadsBack) {
    for (const auto& [code, label] : KeyCode::labels()) {
        for (uint32_t raw = 0; raw <= KeyModifiers::allMask; raw += 0x100) {
            KeyShortcut s(code, KeyModifiers(raw));
            SCOPED_TRACE(s.display());
            EXPECT_EQ(ShortcutText::parse(s.display()).shortcut, s);
        }
    }
}

} // namespace
} // namespace brell
