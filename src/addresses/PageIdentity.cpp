#include "addresses/PageIdentity.h"

#include "addresses/URLComponents.h"
#include "addresses/URLSafety.h"
#include "util/Text.h"

#include <algorithm>

namespace brell::PageIdentity {
namespace {

std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> pieces = Text::split(path, '/');
    std::erase_if(pieces, [](const std::string& piece) { return piece.empty(); });
    return pieces;
}

// The value of the first query item named "v", when it has one.
std::optional<std::string> watchValue(const URLComponents& parts) {
    if (!parts.queryItems) {
        return std::nullopt;
    }
    auto item = std::find_if(parts.queryItems->begin(), parts.queryItems->end(),
                             [](const URLComponents::QueryItem& i) { return i.name == "v"; });
    if (item == parts.queryItems->end()) {
        return std::nullopt;
    }
    return item->value;
}

std::optional<std::string> validID(std::optional<std::string> candidate) {
    if (candidate && videoIDPattern().matches(*candidate)) {
        return candidate;
    }
    return std::nullopt;
}

bool isSensitive(const std::string& path) {
    if (sensitivePath().find(path)) {
        return true;
    }
    // A server decodes "/log%69n" to "/login"; test the decoded path as well.
    auto decoded = URLComponents::percentDecode(path);
    return decoded && sensitivePath().find(*decoded);
}

} // namespace

const Regex& videoIDPattern() {
    static const Regex pattern("^[A-Za-z0-9_-]{11}$");
    return pattern;
}

const Regex& sensitivePath() {
    static const Regex pattern(
        "(^|/)(login|log-in|signin|sign-in|signup|sign-up|account|accounts|checkout|cart|basket|billing|"
        "payment|messages|inbox|compose|edit|editor|settings|admin|password|auth|oauth)(/|$|\\?|\\.)",
        Regex::Case::insensitive);
    return pattern;
}

std::optional<std::string> youtubeID(std::string_view text) {
    auto parts = URLComponents::parse(Text::trim(text));
    if (!parts || !parts->scheme || !parts->host) {
        return std::nullopt;
    }
    std::string scheme = Text::asciiLower(*parts->scheme);
    if (scheme != "https" && scheme != "http") {
        return std::nullopt;
    }
    std::string host = Text::lower(*parts->host);
    std::vector<std::string> pieces = segments(parts->path);

    std::optional<std::string> candidate;
    if (host == youtubeShortLinkHost) {
        if (!pieces.empty()) {
            candidate = pieces.front();
        }
    } else if (std::find(youtubeHosts.begin(), youtubeHosts.end(), host) != youtubeHosts.end()) {
        if (parts->path == "/watch") {
            candidate = watchValue(*parts);
        } else if (pieces.size() >= 2 && std::find(youtubePathPrefixes.begin(), youtubePathPrefixes.end(), pieces[0]) !=
                                             youtubePathPrefixes.end()) {
            candidate = pieces[1];
        }
    }
    return validID(std::move(candidate));
}

std::optional<std::string> youtubeIDFromURL(std::string_view text) {
    auto parts = URLComponents::parse(text);
    if (!parts || parts->scheme != "https" || !parts->host) {
        return std::nullopt;
    }
    std::string host = Text::lower(*parts->host);
    if (std::find(youtubeHosts.begin(), youtubeHosts.begin() + 3, host) == youtubeHosts.begin() + 3) {
        return std::nullopt;
    }
    if (parts->path != "/watch") {
        return std::nullopt;
    }
    return validID(watchValue(*parts));
}

std::optional<std::string> key(std::string_view text) {
    if (auto id = youtubeID(text)) {
        return "youtube:" + *id;
    }
    auto cleaned = URLSafety::sanitize(text);
    if (!cleaned || !URLSafety::isWeb(cleaned->url)) {
        return std::nullopt;
    }
    auto parts = URLComponents::parse(cleaned->url);
    if (!parts || !parts->host || parts->host->empty()) {
        return std::nullopt;
    }

    std::string host = Text::lower(*parts->host);
    if (host.starts_with("www.")) {
        host.erase(0, 4);
    }
    if (host.find(':') != std::string::npos) {
        // An IPv6 literal keeps its brackets so a port after it stays readable.
        host = "[" + host + "]";
    }
    if (parts->port && *parts->port != 80 && *parts->port != 443) {
        host += ":" + std::to_string(*parts->port);
    }

    std::string path = parts->path;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.empty()) {
        path = "/";
    }

    std::vector<std::string> items;
    for (const auto& item : parts->queryItems.value_or(std::vector<URLComponents::QueryItem>{})) {
        items.push_back(item.name + "=" + item.value.value_or(""));
    }
    std::sort(items.begin(), items.end());
    std::string query;
    for (const std::string& item : items) {
        if (!query.empty()) {
            query += '&';
        }
        query += item;
    }

    std::string result = "page:" + host + path;
    if (!query.empty()) {
        result += "?" + query;
    }
    return result;
}

std::optional<std::string> canonicalArticleURL(std::string_view text) {
    auto cleaned = URLSafety::sanitize(text);
    if (!cleaned || !URLSafety::isWeb(cleaned->url)) {
        return std::nullopt;
    }
    auto parts = URLComponents::parse(cleaned->url);
    if (!parts || parts->scheme != "https") {
        return std::nullopt;
    }
    parts->fragment.reset();
    try {
        if (isSensitive(parts->path)) {
            return std::nullopt;
        }
    } catch (const RegexError&) {
        // When the test itself cannot run, the page is not remembered.
        return std::nullopt;
    }
    return parts->string();
}

std::optional<std::string> sourceKey(std::string_view page) {
    if (auto id = youtubeID(page)) {
        return "youtube:" + *id;
    }
    if (auto article = canonicalArticleURL(page)) {
        return "article:" + *article;
    }
    return std::nullopt;
}

} // namespace brell::PageIdentity
