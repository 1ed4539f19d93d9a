#include "BrellCore/board/CaptureKind.h"

namespace brell {

std::string rawValue(CaptureKind kind) {
    switch (kind) {
    case CaptureKind::quote:
        return "quote";
    case CaptureKind::url:
        return "url";
    }
    return {};
}

std::optional<CaptureKind> captureKindFromRaw(std::string_view text) {
    if (text == "quote") {
        return CaptureKind::quote;
    }
    if (text == "url") {
        return CaptureKind::url;
    }
    return std::nullopt;
}

} // namespace brell
