#pragma once
// Where an insight stands in its life: proposed ("new"), shown to the user, kept by
// them ("saved", "useful"), turned down for a reason, or withdrawn because what it rests
// on changed. The raw value is the stored `insight.status` text. Pure functions; throw
// nothing.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class InsightStatus {
    new_, // "new" ("new" is a C++ keyword)
    shown,
    saved,
    useful,
    dismissed,
    known,
    notRelevant,
    wrongProject,
    withdrawn,
};

inline constexpr std::array<InsightStatus, 9> allInsightStatuses = {
    InsightStatus::new_,        InsightStatus::shown,        InsightStatus::saved,
    InsightStatus::useful,      InsightStatus::dismissed,    InsightStatus::known,
    InsightStatus::notRelevant, InsightStatus::wrongProject, InsightStatus::withdrawn};

std::string rawValue(InsightStatus status);
// The status with this raw value, or nothing.
std::optional<InsightStatus> insightStatusFromRaw(std::string_view text);
// A stored status: one this build does not know reads as new.
InsightStatus insightStatusFromStored(std::string_view text);
// Statuses the user chose to keep; they outlive muting, deletion, purges and clearing.
bool isKept(InsightStatus status);

} // namespace brell
