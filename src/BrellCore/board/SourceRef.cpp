#include "BrellCore/board/SourceRef.h"

#include "BrellCore/board/Hashing.h"

namespace brell {

const std::string SourceRef::clipboardName = "Clipboard";

SourceRef SourceRef::clipboard() {
    return SourceRef{clipboardName, std::nullopt, clipboardName, std::nullopt, false};
}

} // namespace brell

std::size_t std::hash<brell::SourceRef>::operator()(const brell::SourceRef& source) const noexcept {
    std::size_t seed = 0;
    brell::Hashing::combine(seed, source.title);
    brell::Hashing::combine(seed, source.url);
    brell::Hashing::combine(seed, source.appName);
    brell::Hashing::combine(seed, source.bundleID);
    brell::Hashing::combine(seed, source.redacted);
    return seed;
}
