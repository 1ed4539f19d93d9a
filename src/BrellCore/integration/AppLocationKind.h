#pragma once
// Where a copy of BRELL lives, as far as keeping its links working is concerned. String
// raw values are the enumerators' names.
#include <optional>
#include <string_view>

namespace brell {

enum class AppLocationKind {
    applications,     // under /Applications/ (on Linux: installed under a system prefix)
    userApplications, // under ~/Applications/ (on Linux: installed under a prefix in the home folder)
    devBuild,         // not an application bundle, or a development build in a source tree
    translocated,     // a temporary copy made by the system ("/AppTranslocation/")
    diskImage,        // under /Volumes/
    downloads,        // under ~/Downloads/
    other,            // anywhere else
};

std::string_view rawValue(AppLocationKind kind);
std::optional<AppLocationKind> appLocationKindFromRaw(std::string_view raw);

} // namespace brell
