#pragma once
// The parts of a URI reference (RFC 3986): scheme, user information, host, port, path,
// query items and fragment, as written, and the reverse: composing them into text.
//
// What `parse` accepts: the RFC's URI-reference grammar (absolute addresses and relative
// references) with two leniencies that real addresses need:
//   - In the path, query and fragment, characters the RFC does not allow but browsers and
//     people write anyway (space, `"`, `<`, `>`, `` ` ``, `{`, `}`, `|`, `^`, `[`, `]`,
//     a second `#` in the fragment, and any well-formed non-ASCII UTF-8) are accepted and
//     reported percent-encoded, so every reported path, query item and fragment is valid
//     RFC 3986 text.
//   - A registered host name may hold non-ASCII UTF-8 (an internationalised name written
//     in Unicode, "münchen.de"); it is reported as written. Invisible characters (C1
//     controls, Unicode white space) are refused there.
// Refused (parse gives nothing): control characters, backslashes, a bad percent escape,
// ill-formed UTF-8, a malformed IPv6 literal or an IPvFuture literal, a port above 65535,
// an "@" or other stray character in the authority, a scheme that does not start with a
// letter. The authority is never read leniently, so the host reported is the host a
// browser would contact.
//
// Components are reported as written: scheme and host keep their case (callers lower-case
// them), and escapes are not decoded. An IPv6 literal host is reported without its
// brackets ("::1"); `string()` writes them back for any host containing ":".
// "Absent" and "empty" differ: "http://a/" has no query and no fragment, "http://a/?#"
// has an empty query (no items) and an empty fragment. Likewise "http://@a/" has an empty
// user, and "file:///x" an empty host.
//
// A plain value; parse and string() are pure and safe from any thread. Nothing here
// throws except std::bad_alloc.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brell {

class URLComponents {
public:
    // One query item: the text between two "&", split at its first "=". Both parts stay
    // percent-encoded. "a=&b" gives {a, ""} and {b, none}.
    struct QueryItem {
        std::string name;
        std::optional<std::string> value;

        bool operator==(const QueryItem&) const = default;
    };

    std::optional<std::string> scheme;                // without ":"; none for a relative reference
    std::optional<std::string> user;                  // percent-encoded; none without "@"
    std::optional<std::string> password;              // percent-encoded; none without ":" in the user information
    std::optional<std::string> host;                  // none without "//"; IPv6 literals without brackets
    std::optional<int> port;                          // none when absent or written empty ("http://a:/")
    std::string path;                                 // percent-encoded, possibly empty
    std::optional<std::vector<QueryItem>> queryItems; // none without "?"; empty for a bare "?"
    std::optional<std::string> fragment;              // percent-encoded, without "#"; none without "#"

    bool operator==(const URLComponents&) const = default;

    // The components of `text`, or nothing when it is not a URI reference (see above).
    static std::optional<URLComponents> parse(std::string_view text);

    // The reference these components describe. Characters a component may not hold
    // (a "#" in the path, an "&" in a query item's name, a "%" not starting an escape...)
    // are percent-encoded on the way out, so the result parses back to the same
    // components. Two paths are adjusted so they keep their meaning: a path under an
    // authority gets a leading "/", and one that would read as an authority ("//x") or
    // as a scheme ("a:b" in a relative reference) gets a leading "/." or "./". A scheme
    // that is not a valid scheme, a port outside 0...65535 or a malformed IPv6 host is
    // written as given and then does not parse.
    std::string string() const;

    // The query as written after "?", or none without a query.
    std::optional<std::string> percentEncodedQuery() const;

    // Decodes %XX escapes. Nothing when an escape is malformed or the decoded bytes are
    // not well-formed UTF-8.
    static std::optional<std::string> percentDecode(std::string_view text);
};

} // namespace brell
