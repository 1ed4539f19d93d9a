#include "addresses/URLSafety.h"

#include "addresses/URLComponents.h"
#include "util/Text.h"

#include <algorithm>

namespace brell::URLSafety {
namespace {

template <std::size_t N> bool contains(const std::array<std::string_view, N>& table, std::string_view name) {
    return std::find(table.begin(), table.end(), name) != table.end();
}

std::optional<std::string> lowerScheme(std::string_view text) {
    auto parts = URLComponents::parse(text);
    if (!parts || !parts->scheme) {
        return std::nullopt;
    }
    return Text::asciiLower(*parts->scheme);
}

// A query item's name as a server reads it: decoded when the escapes decode.
std::string decodedName(const std::string& name) {
    return URLComponents::percentDecode(name).value_or(name);
}

// The fragment as a page script reads it: every %XX escape decoded, anything else kept
// as written, and bytes that do not form UTF-8 replaced with U+FFFD. Leniently, so a bad
// escape elsewhere in the fragment cannot hide a marker from the check.
std::string lenientlyDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && Text::hexDigitValue(text[i + 1]) >= 0 &&
            Text::hexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(Text::hexDigitValue(text[i + 1]) * 16 + Text::hexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return Text::sanitizeUTF8(out);
}

bool carriesSecretMarker(std::string_view fragment) {
    auto hasMarker = [](const std::string& lowered) {
        return std::any_of(secretFragmentMarkers.begin(), secretFragmentMarkers.end(),
                           [&](std::string_view marker) { return lowered.find(marker) != std::string::npos; });
    };
    if (hasMarker(Text::lower(fragment))) {
        return true;
    }
    // Page scripts read the fragment decoded, so "%61ccess_token=" is a token too.
    return hasMarker(Text::lower(lenientlyDecoded(fragment)));
}

} // namespace

bool isTracking(std::string_view name) {
    std::string lowered = Text::lower(name);
    return lowered.starts_with("utm_") || contains(trackingNames, lowered);
}

bool isSecret(std::string_view name) {
    return contains(secretNames, Text::lower(name));
}

std::optional<Result> sanitize(std::string_view text) {
    std::string trimmed = Text::trim(text);
    // A character is at least one byte, so only long texts need counting.
    if (trimmed.empty() || (trimmed.size() > maxCharacters && Text::characterCount(trimmed) > maxCharacters)) {
        return std::nullopt;
    }
    auto parts = URLComponents::parse(trimmed);
    if (!parts || !parts->scheme) {
        return std::nullopt;
    }
    std::string scheme = Text::asciiLower(*parts->scheme);
    if (!contains(schemes, scheme)) {
        return std::nullopt;
    }
    if (scheme != "file" && (!parts->host || parts->host->empty())) {
        return std::nullopt;
    }
    parts->scheme = scheme;

    Result result;
    if (parts->user || parts->password) {
        parts->user.reset();
        parts->password.reset();
        result.redacted = true;
    }

    if (parts->queryItems) {
        std::vector<URLComponents::QueryItem> kept;
        for (auto& item : *parts->queryItems) {
            std::string name = decodedName(item.name);
            if (isTracking(name)) {
                continue;
            }
            if (isSecret(name)) {
                result.redacted = true;
                continue;
            }
            kept.push_back(std::move(item));
        }
        // Items with nothing in them ("?&") would compose to a bare "?"; without a real
        // item the query goes.
        bool onlyEmpty = std::all_of(kept.begin(), kept.end(), [](const URLComponents::QueryItem& item) {
            return item.name.empty() && !item.value;
        });
        if (onlyEmpty) {
            parts->queryItems.reset();
        } else {
            parts->queryItems = std::move(kept);
        }
    }

    if (parts->fragment) {
        std::string& fragment = *parts->fragment;
        if (std::size_t directive = fragment.find(":~:"); directive != std::string::npos) {
            fragment.erase(directive);
        }
        if (carriesSecretMarker(fragment)) {
            parts->fragment.reset();
            result.redacted = true;
        } else if (fragment.empty()) {
            parts->fragment.reset();
        }
    }

    result.url = parts->string();
    // Composing is checked by reading the result back: what is handed on must parse.
    if (!URLComponents::parse(result.url)) {
        return std::nullopt;
    }
    return result;
}

bool isWeb(std::optional<std::string_view> text) {
    if (!text) {
        return false;
    }
    auto scheme = lowerScheme(*text);
    return scheme && (*scheme == "http" || *scheme == "https");
}

bool isFile(std::optional<std::string_view> text) {
    if (!text) {
        return false;
    }
    auto scheme = lowerScheme(*text);
    return scheme && *scheme == "file";
}

std::optional<std::string> displayHost(std::string_view text) {
    auto parts = URLComponents::parse(text);
    if (!parts) {
        return std::nullopt;
    }
    if (parts->scheme && Text::asciiLower(*parts->scheme) == "file") {
        std::vector<std::string> segments = Text::split(parts->path, '/');
        auto last = std::find_if(segments.rbegin(), segments.rend(), [](const std::string& s) { return !s.empty(); });
        if (last == segments.rend()) {
            return std::nullopt;
        }
        return URLComponents::percentDecode(*last).value_or(*last);
    }
    if (!parts->host) {
        return std::nullopt;
    }
    std::string host = Text::lower(*parts->host);
    if (host.starts_with("www.")) {
        host.erase(0, 4);
    }
    if (host.empty()) {
        return std::nullopt;
    }
    return host;
}

} // namespace brell::URLSafety
