#pragma once
// The content of a board item: a quote (selected text) or a url (a page or a link),
// with where it came from and when. A capture has its own id, distinct from the id of
// the card that holds it. A plain value with equality and hashing over every field.
//
// The lane rules live here: a quote may stand in Notes and Evidence, a url capture only
// in Links, and unavailableReason() gives the sentence shown when a lane refuses one.
// Thread-safe; throws nothing.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "BrellCore/board/CaptureKind.h"
#include "BrellCore/board/Lane.h"
#include "BrellCore/board/SourceRef.h"
#include "BrellCore/board/UUID.h"
#include "util/Date.h"

namespace brell {

struct Capture {
    // Every capture made by this system has version 1; decoding keeps what the file says.
    Capture(UUID id, CaptureKind kind, std::optional<std::string> text, std::optional<std::string> targetURL,
            std::optional<std::string> targetTitle, SourceRef source, Date capturedAt);

    UUID id;
    int64_t version = 1;
    CaptureKind kind;
    std::optional<std::string> text;        // the passage as selected (untrimmed); quotes only
    std::optional<std::string> targetURL;   // url captures: the address pointed to
    std::optional<std::string> targetTitle; // url captures: that page's title, when known
    SourceRef source;
    Date capturedAt;

    // `text` (empty when absent) without surrounding white space and line breaks.
    std::string trimmedText() const;

    // A url capture of the page the user was on (targetURL equals source.url, both
    // absent counting as equal), as opposed to a link found on that page.
    bool isPageItself() const;

    // Quotes go to Notes and Evidence; url captures only to Links.
    bool accepts(Lane lane) const;

    // The sentence shown when this capture cannot go into `lane`; nothing when it can.
    std::optional<std::string> unavailableReason(Lane lane) const;

    // The source has no address, or one that is not an http or https address.
    bool lacksWebSource() const;

    // A copy whose source carries `address` (typed by the user), cleaned with
    // URLSafety::sanitize; nothing when it does not clean to an http or https address.
    // The source is marked redacted when cleaning removed something; a clipboard
    // source or one without a title takes the address's display host as its title.
    std::optional<Capture> withSourceAddress(const std::string& address) const;

    bool operator==(const Capture&) const = default;
};

} // namespace brell

template <> struct std::hash<brell::Capture> { std::size_t operator()(const brell::Capture& capture) const noexcept; };
