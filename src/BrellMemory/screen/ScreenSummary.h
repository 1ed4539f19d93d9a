#pragma once
// ScreenSummary: the request that gives one kept window (a ScreenCapture) a short
// summary and files it under a topic group, and the strict reading of the answer.
// Nothing here calls a model: the caller sends `system`, input(…) and schema() to the
// provider the user chose, with the model cheapModel(…) names, and stores what parse()
// and parseGroup() give through MemoryStore::setScreenSummary. Window text is data to
// the model; the instruction says so, and every answer is checked before use.
//
// Pure functions over their arguments; safe from any thread (the schema and the vague
// names are built once, safely under concurrent first use). Nothing in an answer can
// make a reader fail; the operations throw only std::bad_alloc (or a failure of ICU).
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/screen/ScreenCapture.h"
#include "util/Json.h"

namespace brell::ScreenSummary {

// Characters of a summary before the "…" that marks a cut.
inline constexpr std::size_t maxLength = 220;
// Characters and words of a group name.
inline constexpr std::size_t maxGroupLength = 32;
inline constexpr std::size_t maxGroupWords = 5;
// How many existing group names one request carries.
inline constexpr std::size_t maxExistingGroups = 20;
// The text sent is the budget given, raised to the first and cut to the second.
inline constexpr std::size_t minTextCharacters = 500;
inline constexpr std::size_t maxTextCharacters = 6000;

// The 13 lower-case names never accepted as a group ("misc", "other", …).
const std::set<std::string, std::less<>>& vagueGroups();

// The instruction of every summary request: four lines joined by line feeds.
extern const char* const system;

// {"summary": string, "group": string}, both required, nothing else.
const OrderedJson& schema();

// The request input: "app", "window_title", "existing_groups" (the first 20 of
// `groups`, in order) and "text" (the first `maxChars` characters of the capture's
// text, with `maxChars` held between 500 and 6,000).
Json input(const ScreenCapture& capture, std::size_t maxChars, const std::vector<std::string>& groups);

// The answer's "summary": trimmed, without a leading "group: …" label the model wrote
// by mistake, its first two sentences, and at most 220 characters (cut at a space and
// ended with "…", so at most 221). Nothing when no usable text is left.
std::optional<std::string> parse(const Json& answer);

// The answer's "group": its first line, without surrounding quotes and punctuation,
// single-spaced; an existing group that means the same (sameGroup) as spelled there;
// nothing when it is empty, longer than 5 words or 32 characters, has no letter, is
// vague, or is the application's own name (ignoring case); otherwise the name with its
// first character upper-cased.
std::optional<std::string> parseGroup(const Json& answer, const std::vector<std::string>& existing,
                                      std::string_view app);

// Whether two group names mean the same: ignoring case and diacritics, the same number
// of words (at least one), each pair equal, or both of at least 4 characters with one
// beginning with the other ("Kitchen renovation" and "kitchen renovations").
bool sameGroup(std::string_view a, std::string_view b);

// The model summaries use, by the provider's raw value (AIProvider::rawValue):
// "haiku" for "claudeCode", "claude-haiku-5-5" for "anthropic", else `current`.
std::string cheapModel(std::string_view provider, std::string_view current);

} // namespace brell::ScreenSummary
