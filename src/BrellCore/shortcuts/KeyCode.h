#pragma once
// macOS virtual key codes of an ANSI keyboard, as plain numbers (no platform header is
// needed to name a key), and the labels that make a code usable in a shortcut. The
// lookup tables are built once on first use; every function is thread-safe and throws
// nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace brell::KeyCode {

// `deleteKey` is the Delete (backspace) key, so named because `delete` is a keyword;
// `n0` to `n9` are the digit keys of the main row.
inline constexpr uint32_t a = 0, s = 1, d = 2, f = 3, h = 4, g = 5, z = 6, x = 7, c = 8, v = 9, b = 11, q = 12, w = 13,
                          e = 14, r = 15, y = 16, t = 17, n1 = 18, n2 = 19, n3 = 20, n4 = 21, n6 = 22, n5 = 23,
                          equal = 24, n9 = 25, n7 = 26, minus = 27, n8 = 28, n0 = 29, rightBracket = 30, o = 31, u = 32,
                          leftBracket = 33, i = 34, p = 35, returnKey = 36, l = 37, j = 38, quote = 39, k = 40,
                          semicolon = 41, backslash = 42, comma = 43, slash = 44, n = 45, m = 46, period = 47, tab = 48,
                          space = 49, grave = 50, deleteKey = 51, escape = 53, f17 = 64, keypadEnter = 76, f18 = 79,
                          f19 = 80, f5 = 96, f6 = 97, f7 = 98, f3 = 99, f8 = 100, f9 = 101, f11 = 103, f13 = 105,
                          f16 = 106, f14 = 107, f10 = 109, f12 = 111, f15 = 113, home = 115, pageUp = 116,
                          forwardDelete = 117, f4 = 118, end = 119, f2 = 120, pageDown = 121, f1 = 122, left = 123,
                          right = 124, down = 125, up = 126;

// The right-hand command key, the first of the keys that only modify (54 to 63).
inline constexpr uint32_t rightCommand = 54;
inline constexpr uint32_t command = 55, shift = 56, capsLock = 57, option = 58, control = 59, rightShift = 60,
                          rightOption = 61, rightControl = 62, function = 63;

// 26 codes → "A" to "Z".
const std::unordered_map<uint32_t, std::string>& letters();
// 10 codes → "0" to "9".
const std::unordered_map<uint32_t, std::string>& digits();
// 19 codes → "F1" to "F19".
const std::unordered_map<uint32_t, std::string>& functionKeys();
// The three tables above and the labels of punctuation, editing and arrow keys.
const std::unordered_map<uint32_t, std::string>& labels();

// The key's label; nothing for a code no shortcut may use.
std::optional<std::string> label(uint32_t code);

// Codes 54 to 63: keys that only modify another key.
bool isModifierOnly(uint32_t code);

bool isLetter(uint32_t code);
bool isDigit(uint32_t code);
// `equal`, `minus`, the brackets, `quote`, `semicolon`, `backslash`, `comma`, `slash`,
// `period` and `grave`.
bool isPunctuation(uint32_t code);

// The one-character text a menu item uses for this key (UTF-8), or nothing.
std::optional<std::string> menuKeyEquivalent(uint32_t code);

} // namespace brell::KeyCode
