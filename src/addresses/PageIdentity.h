#pragma once
// The identity of a remembered page: the YouTube video id of an address, the stable key
// that tells a saved board item and a visited page apart or together, and the stricter
// rules the companion host applies before it remembers a source (watch pages only,
// https articles without sign-in, checkout or settings paths) with the key that source
// is stored under.
//
// Pure functions without state; safe from any thread. The two regular expressions are
// compiled once, on first use. Nothing here throws on any input (only std::bad_alloc,
// or a failure of ICU itself).
#include "util/Regex.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell::PageIdentity {

// YouTube's hosts, lower-case: the first three are the watch-page hosts the companion
// reports videos from; then the music host and the privacy-enhanced embedding host.
inline constexpr std::array<std::string_view, 5> youtubeHosts{"www.youtube.com", "youtube.com", "m.youtube.com",
                                                              "music.youtube.com", "www.youtube-nocookie.com"};

// First path segments after which the second segment is a video id ("/shorts/<id>").
inline constexpr std::array<std::string_view, 4> youtubePathPrefixes{"shorts", "embed", "live", "v"};

// YouTube's short-link host, whose first path segment is the video id.
inline constexpr std::string_view youtubeShortLinkHost = "youtu.be";

// "^[A-Za-z0-9_-]{11}$": eleven letters, digits, "_" or "-". Use matches(), which takes
// the whole text, so a trailing line break is never part of an id.
const Regex& videoIDPattern();

// Path segments of sign-in, account, shopping, messaging, editing and settings pages,
// matched case-insensitively with find() against a path: one of the words as a whole
// segment, followed by "/", the end, "?" or ".".
const Regex& sensitivePath();

// The video id of a YouTube address of any common form (watch page on any YouTube host,
// short link, shorts, embed, live and /v/ paths), http or https, after trimming white
// space. Nothing for anything else.
std::optional<std::string> youtubeID(std::string_view text);

// The identity key of a page: "youtube:" + id for a video, else "page:" + host (lower-
// cased, without "www.", with a port other than 80 and 443) + path (without trailing
// slashes, at least "/") + "?" + the cleaned query items sorted, when there are any.
// The scheme is left out, so the http and https forms of a page share a key. Nothing
// for an address sanitize refuses or one that is not a web address.
std::optional<std::string> key(std::string_view text);

// The strict video id of what the companion reports as a video: exactly an https watch
// page ("/watch" with a valid "v") on www.youtube.com, youtube.com or m.youtube.com,
// not trimmed. Nothing for anything else.
std::optional<std::string> youtubeIDFromURL(std::string_view text);

// The cleaned https address under which an article is remembered: sanitized, without
// fragment, and nothing for plain http or a sensitive path (see sensitivePath).
std::optional<std::string> canonicalArticleURL(std::string_view text);

// The database key of a remembered source: "youtube:" + youtubeID(page), else
// "article:" + canonicalArticleURL(page), else nothing.
std::optional<std::string> sourceKey(std::string_view page);

} // namespace brell::PageIdentity
