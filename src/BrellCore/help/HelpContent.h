#pragma once
// The help ("Tips & FAQ"): 34 entries in five sections, a word search over them, and
// two exports of the whole list, Markdown for reading and JSON for other tools. The
// user's current shortcut labels are spliced into the answers that mention them.
// Pure functions; thread-safe; throws nothing.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrellCore/help/HelpEntry.h"
#include "BrellCore/help/HelpShortcuts.h"

namespace brell::HelpContent {

// Every entry, in section order and, within a section, in reading order.
std::vector<HelpEntry> entries(const HelpShortcuts& shortcuts);

// The entries that match `query` (HelpEntry::matches), in list order.
std::vector<HelpEntry> search(std::string_view query, const std::vector<HelpEntry>& entries);

// The matching entries, best first: an entry whose title holds the query's words comes
// before one that only names them in its keywords, which comes before one that only
// mentions them in its answer. Equal entries keep list order.
std::vector<HelpEntry> searchBestFirst(std::string_view query, const std::vector<HelpEntry>& entries);

// The sections that hold any of `entries`, in section order, each with its entries in
// list order.
std::vector<std::pair<HelpSection, std::vector<HelpEntry>>> bySection(const std::vector<HelpEntry>& entries);

// "# BRELL: Tips & FAQ", then each section that has entries with its blurb and its
// entries' titles and answers.
std::string markdown(const HelpShortcuts& shortcuts);

// An array of {"id", "section" (its title), "title", "body", "action" (raw value, only
// when the entry has one)}, pretty-printed with sorted keys; "[]" if it cannot be
// serialised.
std::string json(const HelpShortcuts& shortcuts);

} // namespace brell::HelpContent
