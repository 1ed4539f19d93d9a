#pragma once
// Turns the user's current selection and its source into a new capture, or into the
// short sentence that says why nothing was captured, before the application makes a
// card of it. A selection that is one web address becomes a url capture of that
// address; an empty selection on a page becomes a url capture of the page itself;
// any other text becomes a quote, kept exactly as selected. Pure functions;
// thread-safe; throw nothing.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/board/Capture.h"
#include "BrellCore/board/SourceRef.h"
#include "addresses/URLSafety.h"
#include "util/Date.h"

namespace brell::CaptureBuilder {

// The longest quote, in user-perceived characters.
inline constexpr std::size_t maxQuoteLength = 8000;

struct Outcome {
    enum class Case {
        capture,  // `capture` is ready to be put on a card
        empty,    // nothing usable is selected and the source has no page address
        rejected, // the selection is too long
    };

    Case kind;
    std::optional<Capture> capture; // for Case::capture
    std::string message;            // for Case::empty and Case::rejected: the sentence shown

    bool operator==(const Outcome&) const = default;
};

// An absent selection counts as empty. Every capture made gets a new random id,
// version 1 and `now` as its capture time.
Outcome build(const std::optional<std::string>& selection, const SourceRef& source, Date now);

// The cleaned address when `text` is a single http or https address (no white space
// or line break anywhere, scheme in any case); nothing otherwise or when it does not
// survive URLSafety::sanitize.
std::optional<URLSafety::Result> selectedURL(std::string_view text);

} // namespace brell::CaptureBuilder
