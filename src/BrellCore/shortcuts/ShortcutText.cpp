#include "BrellCore/shortcuts/ShortcutText.h"

#include <array>
#include <charconv>
#include <unordered_map>
#include <vector>

#include "BrellCore/shortcuts/KeyCode.h"
#include "util/Text.h"

namespace brell::ShortcutText {
namespace {

struct Modifier {
    KeyModifiers flag;
    uint32_t keyCode; // the key itself, when a text names only modifiers
};

struct ModifierName {
    const char* name;
    uint32_t mask;
    uint32_t keyCode;
};

constexpr std::array<ModifierName, 13> modifierNames = {{
    {"\u2303", KeyModifiers::controlMask, KeyCode::control},
    {"\u2325", KeyModifiers::optionMask, KeyCode::option},
    {"\u21E7", KeyModifiers::shiftMask, KeyCode::shift},
    {"\u2318", KeyModifiers::commandMask, KeyCode::command},
    {"control", KeyModifiers::controlMask, KeyCode::control},
    {"ctrl", KeyModifiers::controlMask, KeyCode::control},
    {"ctl", KeyModifiers::controlMask, KeyCode::control},
    {"option", KeyModifiers::optionMask, KeyCode::option},
    {"opt", KeyModifiers::optionMask, KeyCode::option},
    {"alt", KeyModifiers::optionMask, KeyCode::option},
    {"shift", KeyModifiers::shiftMask, KeyCode::shift},
    {"command", KeyModifiers::commandMask, KeyCode::command},
    {"cmd", KeyModifiers::commandMask, KeyCode::command},
}};

const char* const example = "write it like \u2303\u2325\u2318S, cmd+shift+s or ctrl-option-space.";

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

bool isSeparator(char c) {
    return c == '+' || c == '-';
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Key names, lower-cased, without spaces, hyphens or underscores.
const std::unordered_map<std::string, uint32_t>& keyNames() {
    static const auto table = [] {
        std::unordered_map<std::string, uint32_t> t;
        for (const auto& [code, label] : KeyCode::labels()) {
            t[Text::asciiLower(label)] = code;
        }
        const std::pair<const char*, uint32_t> words[] = {
            {"spacebar", KeyCode::space},
            {"return", KeyCode::returnKey},
            {"enter", KeyCode::returnKey},
            {"\u23CE", KeyCode::returnKey},
            {"keypadenter", KeyCode::keypadEnter},
            {"numpadenter", KeyCode::keypadEnter},
            {"tab", KeyCode::tab},
            {"delete", KeyCode::deleteKey},
            {"backspace", KeyCode::deleteKey},
            {"forwarddelete", KeyCode::forwardDelete},
            {"escape", KeyCode::escape},
            {"\u238B", KeyCode::escape},
            {"home", KeyCode::home},
            {"end", KeyCode::end},
            {"pageup", KeyCode::pageUp},
            {"pgup", KeyCode::pageUp},
            {"pagedown", KeyCode::pageDown},
            {"pgdn", KeyCode::pageDown},
            {"left", KeyCode::left},
            {"right", KeyCode::right},
            {"up", KeyCode::up},
            {"down", KeyCode::down},
            {"leftarrow", KeyCode::left},
            {"rightarrow", KeyCode::right},
            {"uparrow", KeyCode::up},
            {"downarrow", KeyCode::down},
            {"equal", KeyCode::equal},
            {"equals", KeyCode::equal},
            {"minus", KeyCode::minus},
            {"hyphen", KeyCode::minus},
            {"leftbracket", KeyCode::leftBracket},
            {"rightbracket", KeyCode::rightBracket},
            {"quote", KeyCode::quote},
            {"apostrophe", KeyCode::quote},
            {"semicolon", KeyCode::semicolon},
            {"backslash", KeyCode::backslash},
            {"comma", KeyCode::comma},
            {"slash", KeyCode::slash},
            {"period", KeyCode::period},
            {"dot", KeyCode::period},
            {"grave", KeyCode::grave},
            {"backtick", KeyCode::grave},
            {"backquote", KeyCode::grave},
            {"command", KeyCode::command},
            {"cmd", KeyCode::command},
            {"\u2318", KeyCode::command},
            {"shift", KeyCode::shift},
            {"\u21E7", KeyCode::shift},
            {"option", KeyCode::option},
            {"opt", KeyCode::option},
            {"alt", KeyCode::option},
            {"\u2325", KeyCode::option},
            {"control", KeyCode::control},
            {"ctrl", KeyCode::control},
            {"ctl", KeyCode::control},
            {"\u2303", KeyCode::control},
            {"capslock", KeyCode::capsLock},
            {"fn", KeyCode::function},
        };
        for (const auto& [name, code] : words) {
            t[name] = code;
        }
        return t;
    }();
    return table;
}

// The key a (trimmed, non-empty) text names.
std::optional<uint32_t> keyNamed(std::string_view text) {
    std::string name;
    for (char c : Text::asciiLower(text)) {
        if (!isSpace(c) && c != '_' && (c != '-' || text.size() == 1)) {
            name += c;
        }
    }
    if (name.empty()) {
        return std::nullopt;
    }
    const auto& names = keyNames();
    if (auto found = names.find(name); found != names.end()) {
        return found->second;
    }
    // "Key 10": the label of a code that has none, so every display reads back.
    if (name.size() > 3 && name.compare(0, 3, "key") == 0) {
        uint32_t code = 0;
        auto [end, error] = std::from_chars(name.data() + 3, name.data() + name.size(), code);
        if (error == std::errc() && end == name.data() + name.size()) {
            return code;
        }
    }
    return std::nullopt;
}

// A modifier symbol or word at `pos`, with the text it takes up. A word counts only
// when more text follows it; at the end it is the key.
std::optional<std::pair<ModifierName, std::size_t>> modifierAt(std::string_view text, std::size_t pos) {
    for (const auto& m : modifierNames) {
        std::string_view name(m.name);
        if (!isAsciiLetter(name[0]) && text.compare(pos, name.size(), name) == 0) {
            return std::make_pair(m, name.size());
        }
    }
    std::size_t stop = pos;
    while (stop < text.size() && isAsciiLetter(text[stop])) {
        ++stop;
    }
    if (stop == pos || stop == text.size()) {
        return std::nullopt;
    }
    std::string word = Text::asciiLower(text.substr(pos, stop - pos));
    char next = text[stop];
    if (!isSpace(next) && !isSeparator(next) && static_cast<unsigned char>(next) < 0x80) {
        return std::nullopt;
    }
    for (const auto& m : modifierNames) {
        if (word == m.name) {
            return std::make_pair(m, stop - pos);
        }
    }
    return std::nullopt;
}

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

Parsed parse(std::string_view input) {
    std::string_view text = trimSpaces(input);
    std::vector<Modifier> held;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto found = modifierAt(text, pos);
        if (!found) {
            break;
        }
        held.push_back({KeyModifiers(found->first.mask), found->first.keyCode});
        pos += found->second;
        while (pos < text.size() && isSpace(text[pos])) {
            ++pos;
        }
        // One "+" or "-" joins it to what follows, unless it is the key itself.
        if (pos < text.size() && isSeparator(text[pos]) && !trimSpaces(text.substr(pos + 1)).empty()) {
            ++pos;
            while (pos < text.size() && isSpace(text[pos])) {
                ++pos;
            }
        }
    }
    std::string_view rest = trimSpaces(text.substr(pos));
    if (rest.empty() && held.empty()) {
        return {std::nullopt, "The shortcut is empty; " + std::string(example)};
    }
    KeyModifiers modifiers;
    uint32_t key = 0;
    if (rest.empty()) {
        key = held.back().keyCode;
        held.pop_back();
    } else if (auto named = keyNamed(rest)) {
        key = *named;
    } else {
        return {std::nullopt, "\u201c" + Text::sanitizeUTF8(rest) + "\u201d is not a key BRELL knows; " + example};
    }
    for (const auto& m : held) {
        modifiers |= m.flag;
    }
    return {KeyShortcut(key, modifiers), ""};
}

} // namespace brell::ShortcutText
