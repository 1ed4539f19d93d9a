#pragma once
// The version text of this build of BRELL: the marketing version, the build and the
// commit it was built from. A plain value; throws nothing.
#include <optional>
#include <string>

#include "util/Json.h"

namespace brell {

struct AppVersion {
    std::string marketing = "?";
    std::string build = "?";
    std::optional<std::string> commit; // absent when empty

    // From an application's information dictionary: "CFBundleShortVersionString",
    // "CFBundleVersion" and "BRELLGitCommit"; a missing or non-text value is "?" (the
    // commit: absent).
    explicit AppVersion(const std::optional<Json>& info);

    // This build's, as recorded when it was configured.
    static AppVersion current();

    // build, then " · " and the commit when there is one.
    std::string buildLabel() const;
    // "Version " + marketing + " (" + buildLabel + ")".
    std::string display() const;
};

} // namespace brell
