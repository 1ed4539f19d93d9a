#include "BrellCore/board/CaptureBuilder.h"

#include <algorithm>

#include "BrellCore/board/UUID.h"
#include "util/Text.h"

namespace brell::CaptureBuilder {
namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead < 0xF0 ? 3 : 1;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// Any white space or line break, including U+0085, U+2028 and U+2029.
bool containsWhiteSpace(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
        if (Text::isBlank(text.substr(at, length))) {
            return true;
        }
        at += length;
    }
    return false;
}

bool startsWithWebScheme(std::string_view text) {
    std::string head;
    for (char c : text.substr(0, 8)) {
        head += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return head.starts_with("http://") || head.starts_with("https://");
}

Outcome captured(Capture capture) {
    return Outcome{Outcome::Case::capture, std::move(capture), {}};
}

} // namespace

Outcome build(const std::optional<std::string>& selection, const SourceRef& source, Date now) {
    std::string trimmed = selection ? Text::trim(*selection) : std::string();
    if (!trimmed.empty()) {
        if (Text::characterCount(trimmed) > maxQuoteLength) {
            return Outcome{Outcome::Case::rejected, std::nullopt,
                           "That selection is over 8,000 characters. Select a shorter passage."};
        }
        if (auto address = selectedURL(trimmed)) {
            SourceRef from = source;
            from.redacted = address->redacted || source.redacted;
            return captured(
                Capture(UUID::random(), CaptureKind::url, std::nullopt, address->url, std::nullopt, from, now));
        }
        return captured(
            Capture(UUID::random(), CaptureKind::quote, *selection, std::nullopt, std::nullopt, source, now));
    }
    if (!source.url) {
        return Outcome{Outcome::Case::empty, std::nullopt,
                       "Nothing is selected, and " + source.appName +
                           " doesn't share a page address. Select some text first."};
    }
    return captured(Capture(UUID::random(), CaptureKind::url, std::nullopt, source.url, source.title, source, now));
}

std::optional<URLSafety::Result> selectedURL(std::string_view text) {
    if (containsWhiteSpace(text) || !startsWithWebScheme(text)) {
        return std::nullopt;
    }
    return URLSafety::sanitize(std::string(text));
}

} // namespace brell::CaptureBuilder
