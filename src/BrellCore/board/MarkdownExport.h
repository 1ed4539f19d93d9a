#pragma once
// MarkdownExport: the board as a Markdown research brief people keep, and the Markdown
// escaping the memory's topic briefs share. The brief has a title, a dated line of lane
// counts, then one section per lane (Evidence, Notes, Links): each quote as a block
// quote with its explanation and source, each link as a list item.
//
// Every text that comes from a page or an app is escaped, so a title or quote can never
// turn into a heading, link, list or HTML of the brief. Addresses become link targets
// only when they are web or file addresses.
//
// Pure functions of their arguments (plus the local time zone for the date stamp, unless
// a zone is given); safe from any thread. The set of escaped characters is a constant.
// Nothing here throws (only std::bad_alloc, or a failure of ICU itself).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrellCore/board/Capture.h"
#include "BrellCore/board/Card.h"
#include "BrellCore/board/Note.h"
#include "util/Date.h"
#include "util/DateFormat.h"

namespace brell::MarkdownExport {

// How a brief is written. Both fields must be given.
struct Options {
    Options(std::string title, bool includeQuoteLinks)
        : title(std::move(title)), includeQuoteLinks(includeQuoteLinks) {}

    std::string title;      // the brief's top heading
    bool includeQuoteLinks; // a quote's source line also links to the quote in its page

    bool operator==(const Options&) const = default;
};

// The 13 characters escapeInline puts a backslash before: \ ` * _ [ ] < > | ~ & # !
inline constexpr std::string_view inlineSpecials = "\\`*_[]<>|~&#!";

// The whole brief: title, the "_Exported from BRELL on …_" line with the three lane
// counts, and each lane holding cards (in export order), its cards oldest first. Every
// card given is written; choosing them is the caller's business. Ends with a line feed.
std::string brief(const std::vector<Card>& cards, const Options& options, Date now,
                  std::string_view timeZone = DateFormat::localZone);

// One card as inside the brief: a url card is one list item; a quote is its block
// quote, its note when it has one, and its "Source: " line.
std::string item(const Card& card, const Options& options);

// A backslash before every character of inlineSpecials. A special followed by combining
// marks is escaped too, so no mark can hide Markdown syntax from the escape.
std::string escapeInline(std::string_view text);

// A block quote: one "> " line per line of the text (every newline character ends a
// line), each trimmed of spaces, escaped, and guarded against starting a list or
// heading; a blank line becomes ">". An empty text gives ">".
std::string blockquote(std::string_view text);

// ---- The pieces the brief is made of ----

// White space and line breaks of any kind become single spaces, none at either end.
std::string collapse(std::string_view text);
// "8 Dec 2025 at 21:30" (en_GB) in `timeZone`.
std::string stamp(Date date, std::string_view timeZone = DateFormat::localZone);
// A backslash where the start of a line would read as Markdown: before a leading
// "-", "+" or "=", and between a leading run of digits and a following "." or ")".
std::string escapeLineStart(std::string_view text);
// "**Note:** …" or "**Explanation (AI · provider):** …", then the caveat, if any, after
// a blank line.
std::string noteLines(const Note& note);
// A web or file address with spaces, parentheses and angle brackets percent-encoded;
// "" for any other address.
std::string destination(std::string_view url);
// "[text](destination)" with the text collapsed and escaped.
std::string link(std::string_view text, std::string_view url);
// Where a capture came from: a link to its page (and, with `quoteLink`, a "jump to
// quote" link for a quote), a local file's name, or the title and application.
std::string sourceText(const Capture& capture, bool quoteLink);

} // namespace brell::MarkdownExport
