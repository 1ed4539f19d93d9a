#pragma once
// Quote links: a web address extended with a text-fragment directive ("#:~:text=...")
// so that a browser opening it scrolls to and highlights a saved passage. Used by the
// Markdown brief, the assistant's "Jump to quote" lines and the open links of recalled
// article passages.
//
// Pure functions; safe from any thread. The `allowed` set is built once, on first use,
// under the language's thread-safe initialisation of statics. Nothing here throws on any
// input (only std::bad_alloc, or a failure of ICU itself).
#include <bitset>
#include <optional>
#include <string>
#include <string_view>

namespace brell::TextFragment {

// The bytes left unencoded in a text directive: ASCII letters, digits, ".", "_" and "~".
// The hyphen-minus is left out on purpose: "-", "," and "&" mean something inside a
// directive and are always percent-encoded.
const std::bitset<256>& allowed();

// Longest start-only directive text, in user-perceived characters; longer or multi-line
// quotes are linked by their first and last words instead.
inline constexpr std::size_t maxDirectiveCharacters = 80;

// The quote link for `quote` on `base`, or nothing when `base` is not an http or https
// address (any case of the scheme) or the quote is blank. The base is kept as given: an
// existing anchor stays and an existing directive is replaced.
std::optional<std::string> url(std::string_view base, std::string_view quote);

} // namespace brell::TextFragment
