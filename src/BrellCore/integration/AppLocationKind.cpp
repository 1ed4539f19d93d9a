#include "BrellCore/integration/AppLocationKind.h"

#include <array>
#include <utility>

namespace brell {
namespace {

constexpr std::array<std::pair<AppLocationKind, std::string_view>, 7> names = {{
    {AppLocationKind::applications, "applications"},
    {AppLocationKind::userApplications, "userApplications"},
    {AppLocationKind::devBuild, "devBuild"},
    {AppLocationKind::translocated, "translocated"},
    {AppLocationKind::diskImage, "diskImage"},
    {AppLocationKind::downloads, "downloads"},
    {AppLocationKind::other, "other"},
}};

} // namespace

std::string_view rawValue(AppLocationKind kind) {
    for (const auto& [k, name] : names) {
        if (k == kind) {
            return name;
        }
    }
    return "other";
}

std::optional<AppLocationKind> appLocationKindFromRaw(std::string_view raw) {
    for (const auto& [k, name] : names) {
        if (name == raw) {
            return k;
        }
    }
    return std::nullopt;
}

} // namespace brell
