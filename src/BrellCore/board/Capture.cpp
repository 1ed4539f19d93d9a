#include "BrellCore/board/Capture.h"

#include <utility>

#include "BrellCore/board/Hashing.h"
#include "addresses/URLSafety.h"
#include "util/Text.h"

namespace brell {

Capture::Capture(UUID id, CaptureKind kind, std::optional<std::string> text, std::optional<std::string> targetURL,
                 std::optional<std::string> targetTitle, SourceRef source, Date capturedAt)
    : id(id), kind(kind), text(std::move(text)), targetURL(std::move(targetURL)), targetTitle(std::move(targetTitle)),
      source(std::move(source)), capturedAt(capturedAt) {}

std::string Capture::trimmedText() const {
    return text ? Text::trim(*text) : std::string();
}

bool Capture::isPageItself() const {
    return kind == CaptureKind::url && targetURL == source.url;
}

bool Capture::accepts(Lane lane) const {
    switch (kind) {
    case CaptureKind::quote:
        return lane == Lane::notes || lane == Lane::evidence;
    case CaptureKind::url:
        return lane == Lane::links;
    }
    return false;
}

std::optional<std::string> Capture::unavailableReason(Lane lane) const {
    if (accepts(lane)) {
        return std::nullopt;
    }
    if (kind == CaptureKind::url) {
        return "Needs selected text.";
    }
    return "For pages and links. Clear the selection first.";
}

bool Capture::lacksWebSource() const {
    return !source.url || !URLSafety::isWeb(*source.url);
}

std::optional<Capture> Capture::withSourceAddress(const std::string& address) const {
    auto cleaned = URLSafety::sanitize(address);
    if (!cleaned || !URLSafety::isWeb(cleaned->url)) {
        return std::nullopt;
    }
    Capture copy = *this;
    copy.source.url = cleaned->url;
    copy.source.redacted = cleaned->redacted || source.redacted;
    if (source.appName == SourceRef::clipboardName || source.title.empty()) {
        copy.source.title = URLSafety::displayHost(cleaned->url).value_or(cleaned->url);
    }
    return copy;
}

} // namespace brell

std::size_t std::hash<brell::Capture>::operator()(const brell::Capture& capture) const noexcept {
    std::size_t seed = 0;
    brell::Hashing::combine(seed, capture.id);
    brell::Hashing::combine(seed, capture.version);
    brell::Hashing::combine(seed, static_cast<int>(capture.kind));
    brell::Hashing::combine(seed, capture.text);
    brell::Hashing::combine(seed, capture.targetURL);
    brell::Hashing::combine(seed, capture.targetTitle);
    brell::Hashing::combine(seed, capture.source);
    brell::Hashing::combine(seed, capture.capturedAt);
    return seed;
}
