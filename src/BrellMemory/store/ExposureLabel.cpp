#include "BrellMemory/store/ExposureLabel.h"

namespace brell {

std::string rawValue(ExposureLabel label) {
    switch (label) {
    case ExposureLabel::playedWhileVisible:
        return "Played while visible";
    case ExposureLabel::playedInBackground:
        return "Played in background";
    case ExposureLabel::outsideObservedPlayback:
        return "Outside observed playback";
    case ExposureLabel::articleSectionInView:
        return "Article section in view";
    case ExposureLabel::articleSectionNotObserved:
        return "Article section not observed";
    case ExposureLabel::fromComments:
        return "From comments";
    case ExposureLabel::brellInference:
        return "BRELL inference";
    case ExposureLabel::seenOnScreen:
        return "Seen on screen";
    case ExposureLabel::uncertain:
        return "Uncertain exposure";
    }
    return "Uncertain exposure";
}

std::optional<ExposureLabel> exposureLabelFromRaw(std::string_view text) {
    for (auto label : allExposureLabels) {
        if (rawValue(label) == text) {
            return label;
        }
    }
    return std::nullopt;
}

std::string display(ExposureLabel label, std::string_view sourceKind) {
    switch (label) {
    case ExposureLabel::playedWhileVisible:
        return "Watched at this moment";
    case ExposureLabel::outsideObservedPlayback:
        return "Outside watched intervals";
    case ExposureLabel::articleSectionInView:
        return "Section was in view";
    case ExposureLabel::articleSectionNotObserved:
        return "Section not seen";
    case ExposureLabel::uncertain:
        return sourceKind == "article" ? "Reading status unavailable" : "Watch status unavailable";
    default:
        return rawValue(label);
    }
}

bool isOutsideObserved(ExposureLabel label) {
    return label == ExposureLabel::outsideObservedPlayback || label == ExposureLabel::articleSectionNotObserved;
}

} // namespace brell
