#pragma once
// Text helpers on UTF-8 strings, built on ICU. "Characters" here are user-perceived
// characters (extended grapheme clusters): an emoji with modifiers or a letter with
// combining accents counts as one. Stateless; safe from any thread (ICU iterators are
// kept per thread). Invalid UTF-8 is never produced; functions that meet it in their
// input treat each bad byte as one replacement character when counting.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "util/Error.h"

namespace brell {

// ICU could not load its data or process a text: the installation is broken.
class TextError : public Error {
public:
    explicit TextError(const std::string& what) : Error(what) {}
};

} // namespace brell

namespace brell::Text {

// Removes Unicode white space (spaces, tabs, line and paragraph separators,
// newlines) from both ends.
std::string trim(std::string_view text);

// True when `text` holds only Unicode white space (or nothing).
bool isBlank(std::string_view text);

// Number of user-perceived characters.
std::size_t characterCount(std::string_view text);

// Byte offsets of every character boundary, starting with 0 and ending with the
// text's size; characterCount(text) + 1 entries. Offsets are into `text` when it is
// well-formed UTF-8, else into sanitizeUTF8(text).
std::vector<std::size_t> characterBoundaries(std::string_view text);

// The first `count` user-perceived characters (the whole text when shorter).
std::string prefixCharacters(std::string_view text, std::size_t count);

// Unicode lower-casing (root locale, no language-specific rules).
std::string lower(std::string_view text);

// Unicode upper-casing (root locale, no language-specific rules); "ß" becomes "SS".
std::string upper(std::string_view text);

// The value of one hexadecimal digit (either letter case), or -1 for any other character.
int hexDigitValue(char c);

// Lower-cases A–Z only, byte by byte: for schemes, hosts and parameter names, which
// compare case-insensitively in ASCII alone.
std::string asciiLower(std::string_view text);

// Full Unicode case folding (ß and "SS" both become "ss", final and medial sigma one
// letter), in composed form, accents kept: what comparing "case-insensitively" means
// for every language the user may write in. Ill-formed bytes become U+FFFD.
std::string caseFold(std::string_view text);

// Case- and diacritic-insensitive form for comparisons: decomposed, combining marks
// removed, case-folded, recomposed. "Élan" and "elan" fold to the same string.
std::string fold(std::string_view text);

// True when `text` is well-formed UTF-8.
bool isValidUTF8(std::string_view text);

// Replaces every ill-formed UTF-8 sequence with U+FFFD.
std::string sanitizeUTF8(std::string_view text);

// `text` without the C0 control characters (U+0000–U+001F) that are not white space:
// NUL, escape, bell and the like mean nothing in remembered text, and a NUL would cut
// it short wherever it is read as a C string. Tab, line feed, vertical tab, form feed
// and carriage return stay.
std::string removeControls(std::string_view text);

// Splits at every occurrence of `separator`, keeping empty pieces.
std::vector<std::string> split(std::string_view text, char separator);

// The pieces with `glue` between each two of them.
std::string join(const std::vector<std::string>& pieces, std::string_view glue);

// The sentences of a text as the platform's sentence segmentation finds them (ICU,
// root locale), each as written with the white space that follows it, so that joined
// they give the text back; pieces holding only white space are left out.
std::vector<std::string> sentences(std::string_view text);

} // namespace brell::Text
