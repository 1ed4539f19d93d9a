#pragma once
// How the user met a passage: watched, played in the background, outside what was
// observed, an article section seen or not, a comment, an inference, a screen reading,
// or unknown. The raw value is the stable stored form; display() the words shown.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class ExposureLabel {
    playedWhileVisible,
    playedInBackground,
    outsideObservedPlayback,
    articleSectionInView,
    articleSectionNotObserved,
    fromComments,
    brellInference,
    seenOnScreen,
    uncertain,
};

inline constexpr std::array<ExposureLabel, 9> allExposureLabels = {ExposureLabel::playedWhileVisible,
                                                                   ExposureLabel::playedInBackground,
                                                                   ExposureLabel::outsideObservedPlayback,
                                                                   ExposureLabel::articleSectionInView,
                                                                   ExposureLabel::articleSectionNotObserved,
                                                                   ExposureLabel::fromComments,
                                                                   ExposureLabel::brellInference,
                                                                   ExposureLabel::seenOnScreen,
                                                                   ExposureLabel::uncertain};

std::string rawValue(ExposureLabel label);
std::optional<ExposureLabel> exposureLabelFromRaw(std::string_view text);
// The user-facing words; `sourceKind` ("video" or "article") picks the uncertain wording.
std::string display(ExposureLabel label, std::string_view sourceKind);
// The passage is in memory but the user was not observed on it.
bool isOutsideObserved(ExposureLabel label);

} // namespace brell
