#include "platform/OnDevicePlatform.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "util/Text.h"

namespace brell::OnDevicePlatform {

bool systemTooOld() {
    return false; // no on-device model exists here to be too old for
}

Availability availability() {
    return Availability::other;
}

std::optional<int> reportedContextSize() {
    return std::nullopt;
}

std::set<std::string> supportedLanguageCodes() {
    return {};
}

std::vector<Hypothesis> languageHypotheses(std::string_view, int) {
    return {};
}

std::size_t letterCount(std::string_view text) {
    const std::string clean = Text::sanitizeUTF8(text);
    const auto bounds = Text::characterBoundaries(clean);
    std::size_t letters = 0;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        int32_t offset = static_cast<int32_t>(bounds[i]);
        UChar32 first = 0;
        U8_NEXT(clean.data(), offset, static_cast<int32_t>(clean.size()), first);
        if (first >= 0 && u_isalpha(first)) {
            ++letters;
        }
    }
    return letters;
}

std::string respond(const std::string&, const std::string&, const OrderedJson&, double, const CancelToken& cancel) {
    if (cancel.cancelled()) {
        throw GenerationError("cancelled", true);
    }
    throw GenerationError("no on-device language model on this system", false);
}

} // namespace brell::OnDevicePlatform
