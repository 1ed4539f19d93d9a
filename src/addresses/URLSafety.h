#pragma once
// Cleaning web and file addresses before anything stores or shows them: user
// information, secret query parameters and secret fragments are removed, tracking
// parameters and text-fragment directives dropped. Also small address tests (web, file)
// and the host shown to the user.
//
// Pure functions without state; safe from any thread. They never throw on any input
// (only std::bad_alloc, or a failure of ICU itself to load).
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell::URLSafety {

// The outcome of sanitize.
struct Result {
    std::string url; // the cleaned address
    // True when something secret was removed: user information, a secret query
    // parameter or a secret fragment. Dropping tracking parameters alone leaves it false.
    bool redacted = false;

    bool operator==(const Result&) const = default;
};

// Names of tracking parameters, compared with the decoded, lower-cased name. Any name
// starting with "utm_" counts as tracking too.
inline constexpr std::array<std::string_view, 26> trackingNames{
    "fbclid",      "gclid",      "dclid",    "gbraid",  "wbraid", "msclkid",   "mc_cid",  "mc_eid",  "_hsenc",
    "_hsmi",       "igshid",     "yclid",    "twclid",  "ttclid", "li_fat_id", "mkt_tok", "vero_id", "vero_conv",
    "oly_anon_id", "oly_enc_id", "wickedid", "ref_src", "s_cid",  "srsltid",   "_ga",     "_gl"};

// Names of query parameters that carry credentials, compared with the decoded,
// lower-cased name.
inline constexpr std::array<std::string_view, 34> secretNames{"access_token",
                                                              "id_token",
                                                              "refresh_token",
                                                              "token",
                                                              "auth",
                                                              "authorization",
                                                              "api_key",
                                                              "apikey",
                                                              "key",
                                                              "password",
                                                              "passwd",
                                                              "pwd",
                                                              "pass",
                                                              "secret",
                                                              "client_secret",
                                                              "session",
                                                              "sessionid",
                                                              "session_id",
                                                              "sid",
                                                              "signature",
                                                              "sig",
                                                              "code",
                                                              "state",
                                                              "jwt",
                                                              "otp",
                                                              "nonce",
                                                              "credential",
                                                              "credentials",
                                                              "x-amz-signature",
                                                              "x-amz-credential",
                                                              "x-amz-security-token",
                                                              "awsaccesskeyid",
                                                              "x-goog-signature",
                                                              "x-goog-credential"};

// Texts whose presence in a lower-cased fragment marks it as carrying a credential
// (sign-in flows return tokens in the fragment).
inline constexpr std::array<std::string_view, 5> secretFragmentMarkers{
    "access_token=", "id_token=", "refresh_token=", "token=", "code="};

// The schemes sanitize accepts.
inline constexpr std::array<std::string_view, 3> schemes{"http", "https", "file"};

// The longest address sanitize accepts, in user-perceived characters after trimming.
inline constexpr std::size_t maxCharacters = 4096;

// Cleans `text`: trims white space, refuses what is empty, too long, unparseable, not
// http, https or file, or a web address without a host; lower-cases the scheme; removes
// user information, tracking and secret query items, text-fragment directives and
// secret or empty fragments. Kept query items stay percent-encoded and in order; when
// no item with a name or value is left, the query goes, "?" included.
std::optional<Result> sanitize(std::string_view text);

// True when `text` parses and its lower-cased scheme is "http" or "https"; false for
// no text.
bool isWeb(std::optional<std::string_view> text);

// True when `text` parses and its lower-cased scheme is "file"; false for no text.
bool isFile(std::optional<std::string_view> text);

// The host to show for an address: for a file address its last non-empty path
// component, decoded; otherwise the lower-cased host without one leading "www.".
// Nothing when that is empty or the address does not parse.
std::optional<std::string> displayHost(std::string_view text);

// True when the lower-cased `name` starts with "utm_" or is a tracking name.
bool isTracking(std::string_view name);

// True when the lower-cased `name` is a secret name.
bool isSecret(std::string_view name);

} // namespace brell::URLSafety
