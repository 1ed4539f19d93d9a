#pragma once
// One window the user had in front, as screen memory read it: the application, window
// title and page address, when it was first and last seen, an AI summary when one was
// made, the text read off the screen and the activity group it was sorted into. Made
// by screen memory, laid out by AssistantFormat::glimpse. A plain aggregate with
// equality; thread-safe; throws nothing.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Date.h"

namespace brell {

struct ScreenGlimpse {
    std::string app;                    // application name
    std::string title;                  // window title; may be empty
    std::optional<std::string> url;     // the page address, for a web page
    Date at;                            // first seen
    Date lastAt;                        // last seen
    std::optional<std::string> summary; // AI summary of the window
    std::string text;                   // the text read off the screen
    std::optional<std::string> group;   // the activity group's name

    // The address cut before its first "?" or "#"; nothing when there is no address or
    // nothing is left.
    static std::optional<std::string> plainAddress(const std::optional<std::string>& address);

    // At most `limit` characters (user-perceived) of `text` around the first place where
    // one of `words` starts, compared ignoring case and diacritics; the text itself when
    // it is not longer than `limit`. The window starts `limit` / 4 characters before
    // the hit, moved back to the start of its line when that line starts within another
    // `limit` / 4 characters (so the hit always stays inside), and at the text's start
    // when no word is found. "…" and a line feed mark a cut start, a line feed and "…" a
    // cut end. Blank words are ignored.
    static std::string excerpt(std::string_view text, const std::vector<std::string>& words, std::size_t limit);

    bool operator==(const ScreenGlimpse&) const = default;
};

} // namespace brell
