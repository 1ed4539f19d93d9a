#pragma once
// Small text helpers for what the brell commands print.
#include <string>
#include <string_view>
#include <vector>

namespace brell::TextOutput {

// Runs of spaces, tabs and line breaks become single spaces, none at either end, so a
// value prints on one line.
std::string oneLine(std::string_view text);

// The command line's words joined with single spaces.
std::string joinWords(const std::vector<std::string>& words);

} // namespace brell::TextOutput
