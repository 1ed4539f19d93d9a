#include "BrellCore/shortcuts/KeyCode.h"

#include <array>

namespace brell::KeyCode {
namespace {

// Letters and digits in label order, so their labels and menu characters come from one place.
constexpr std::array<uint32_t, 26> letterCodes = {a, b, c, d, e, f, g, h, i, j, k, l, m,
                                                  n, o, p, q, r, s, t, u, v, w, x, y, z};
constexpr std::array<uint32_t, 10> digitCodes = {n0, n1, n2, n3, n4, n5, n6, n7, n8, n9};
constexpr std::array<uint32_t, 19> functionCodes = {f1,  f2,  f3,  f4,  f5,  f6,  f7,  f8,  f9, f10,
                                                    f11, f12, f13, f14, f15, f16, f17, f18, f19};

struct Punctuation {
    uint32_t code;
    char character;
};
constexpr std::array<Punctuation, 11> punctuation = {{{equal, '='},
                                                      {minus, '-'},
                                                      {rightBracket, ']'},
                                                      {leftBracket, '['},
                                                      {quote, '\''},
                                                      {semicolon, ';'},
                                                      {backslash, '\\'},
                                                      {comma, ','},
                                                      {slash, '/'},
                                                      {period, '.'},
                                                      {grave, '`'}}};

// UTF-8 of one code point of the Basic Multilingual Plane.
std::string utf8(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

} // namespace

const std::unordered_map<uint32_t, std::string>& letters() {
    static const auto table = [] {
        std::unordered_map<uint32_t, std::string> t;
        for (std::size_t i = 0; i < letterCodes.size(); ++i) {
            t[letterCodes[i]] = std::string(1, static_cast<char>('A' + i));
        }
        return t;
    }();
    return table;
}

const std::unordered_map<uint32_t, std::string>& digits() {
    static const auto table = [] {
        std::unordered_map<uint32_t, std::string> t;
        for (std::size_t i = 0; i < digitCodes.size(); ++i) {
            t[digitCodes[i]] = std::string(1, static_cast<char>('0' + i));
        }
        return t;
    }();
    return table;
}

const std::unordered_map<uint32_t, std::string>& functionKeys() {
    static const auto table = [] {
        std::unordered_map<uint32_t, std::string> t;
        for (std::size_t i = 0; i < functionCodes.size(); ++i) {
            t[functionCodes[i]] = "F" + std::to_string(i + 1);
        }
        return t;
    }();
    return table;
}

const std::unordered_map<uint32_t, std::string>& labels() {
    static const auto table = [] {
        std::unordered_map<uint32_t, std::string> t;
        for (const auto* part : {&letters(), &digits(), &functionKeys()}) {
            t.insert(part->begin(), part->end());
        }
        for (const auto& p : punctuation) {
            t[p.code] = std::string(1, p.character);
        }
        t[deleteKey] = "\u232B";
        t[escape] = "Esc";
        t[keypadEnter] = "\u2324";
        t[forwardDelete] = "\u2326";
        t[home] = "\u2196";
        t[end] = "\u2198";
        t[pageUp] = "\u21DE";
        t[pageDown] = "\u21DF";
        t[left] = "\u2190";
        t[right] = "\u2192";
        t[down] = "\u2193";
        t[up] = "\u2191";
        t[returnKey] = "\u21A9";
        t[tab] = "\u21E5";
        t[space] = "Space";
        return t;
    }();
    return table;
}

std::optional<std::string> label(uint32_t code) {
    const auto& all = labels();
    auto found = all.find(code);
    if (found == all.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool isModifierOnly(uint32_t code) {
    return code >= rightCommand && code <= function;
}

bool isLetter(uint32_t code) {
    return letters().contains(code);
}

bool isDigit(uint32_t code) {
    return digits().contains(code);
}

bool isPunctuation(uint32_t code) {
    for (const auto& p : punctuation) {
        if (p.code == code) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> menuKeyEquivalent(uint32_t code) {
    if (auto letter = letters().find(code); letter != letters().end()) {
        return std::string(1, static_cast<char>(letter->second[0] - 'A' + 'a'));
    }
    if (auto digit = digits().find(code); digit != digits().end()) {
        return digit->second;
    }
    for (const auto& p : punctuation) {
        if (p.code == code) {
            return std::string(1, p.character);
        }
    }
    for (std::size_t i = 0; i < functionCodes.size(); ++i) {
        if (functionCodes[i] == code) {
            return utf8(0xF704 + static_cast<uint32_t>(i));
        }
    }
    switch (code) {
    case space:
        return " ";
    case returnKey:
        return "\r";
    case tab:
        return "\t";
    case deleteKey:
        return "\b";
    case escape:
        return "\x1b";
    case left:
        return utf8(0xF702);
    case right:
        return utf8(0xF703);
    case up:
        return utf8(0xF700);
    case down:
        return utf8(0xF701);
    case forwardDelete:
        return utf8(0xF728);
    default:
        return std::nullopt;
    }
}

} // namespace brell::KeyCode
