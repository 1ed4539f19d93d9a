#include "BrellCore/integration/AppVersion.h"

// Recorded by CMake when the build was configured (see src/CMakeLists.txt).
#ifndef BRELL_BUILD_VERSION
#define BRELL_BUILD_VERSION "?"
#endif
#ifndef BRELL_BUILD_NUMBER
#define BRELL_BUILD_NUMBER "?"
#endif
#ifndef BRELL_BUILD_COMMIT
#define BRELL_BUILD_COMMIT ""
#endif

namespace brell {

AppVersion::AppVersion(const std::optional<Json>& info) {
    if (!info) {
        return;
    }
    marketing = JsonText::string(JsonText::member(*info, "CFBundleShortVersionString")).value_or("?");
    build = JsonText::string(JsonText::member(*info, "CFBundleVersion")).value_or("?");
    commit = JsonText::string(JsonText::member(*info, "BRELLGitCommit"));
    if (commit && commit->empty()) {
        commit.reset();
    }
}

AppVersion AppVersion::current() {
    return AppVersion(Json{{"CFBundleShortVersionString", BRELL_BUILD_VERSION},
                           {"CFBundleVersion", BRELL_BUILD_NUMBER},
                           {"BRELLGitCommit", BRELL_BUILD_COMMIT}});
}

std::string AppVersion::buildLabel() const {
    return commit ? build + " \u00B7 " + *commit : build;
}

std::string AppVersion::display() const {
    return "Version " + marketing + " (" + buildLabel() + ")";
}

} // namespace brell
