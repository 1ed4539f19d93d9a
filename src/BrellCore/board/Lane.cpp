#include "BrellCore/board/Lane.h"

namespace brell {

std::string Lane::rawValue() const {
    switch (value_) {
    case links:
        return "links";
    case notes:
        return "notes";
    case evidence:
        return "evidence";
    }
    return {};
}

std::string Lane::title() const {
    switch (value_) {
    case links:
        return "Links";
    case notes:
        return "Notes";
    case evidence:
        return "Evidence";
    }
    return {};
}

std::string Lane::arrow() const {
    switch (value_) {
    case links:
        return "\u2190";
    case notes:
        return "\u2191";
    case evidence:
        return "\u2192";
    }
    return {};
}

std::string Lane::promise() const {
    switch (value_) {
    case links:
        return "Pages and links, with where you found them";
    case notes:
        return "A quote plus an explanation";
    case evidence:
        return "Exact quotes with their source";
    }
    return {};
}

std::optional<Lane> Lane::fromRaw(std::string_view text) {
    for (Lane lane : allLanes()) {
        if (lane.rawValue() == text) {
            return lane;
        }
    }
    return std::nullopt;
}

const std::array<Lane, 3>& Lane::allLanes() {
    static constexpr std::array<Lane, 3> lanes{Lane::links, Lane::notes, Lane::evidence};
    return lanes;
}

const std::array<Lane, 3>& Lane::exportOrder() {
    static constexpr std::array<Lane, 3> lanes{Lane::evidence, Lane::notes, Lane::links};
    return lanes;
}

} // namespace brell
