#pragma once
// What the brell commands print, and the one way it reaches the user.
//
// Everything a command writes to standard output or standard error passes through
// `printable` (see PrintableBuffer): remembered text can hold anything a web page, a
// caption file or a window title held, and an escape sequence in it must never reach
// the terminal. Every `--json` answer is written by `printJson`, which replaces
// ill-formed UTF-8 instead of failing.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "util/Json.h"

namespace brell::TextOutput {

// `text` made safe for a terminal: ill-formed UTF-8 replaced by U+FFFD; escape
// sequences (ESC followed by a CSI, OSC, DCS, SOS, PM or APC string, or by one more
// character, and their 8-bit C1 forms) removed whole; every other C0 or C1 control
// character and DEL becomes a space, except a line feed when `keepLineFeeds` is set.
std::string printable(std::string_view text, bool keepLineFeeds = false);

// Writes `value` indented by two spaces, ill-formed UTF-8 replaced, and a line feed.
void printJson(std::ostream& out, const Json& value);
void printJson(std::ostream& out, const OrderedJson& value);

// Runs of spaces, tabs and line breaks become single spaces, none at either end, so a
// value prints on one line.
std::string oneLine(std::string_view text);

} // namespace brell::TextOutput
