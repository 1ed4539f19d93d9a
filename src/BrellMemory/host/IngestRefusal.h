#pragma once
// Why a captured event is not stored, as the companion is told: a status other than
// "accepted" and, for "invalid" and "retry", the reason. A plain value.
#include <optional>
#include <string>
#include <utility>

#include "BrellMemory/host/AckStatus.h"

namespace brell {

struct IngestRefusal {
    AckStatus status = AckStatus::invalid;
    std::optional<std::string> reason;

    static IngestRefusal invalid(std::string reason) { return {AckStatus::invalid, std::move(reason)}; }
    static IngestRefusal disabled() { return {AckStatus::disabled, std::nullopt}; }

    bool operator==(const IngestRefusal&) const = default;
};

} // namespace brell
