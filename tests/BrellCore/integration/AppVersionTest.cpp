// The version text shown by brell --version.
#include <gtest/gtest.h>

#include "BrellCore/integration/AppVersion.h"

namespace brell {
namespace {

TEST(AppVersionTest, FromInformation) {
    struct Case {
        const char* name;
        std::optional<Json> info;
        const char* display;
    };
    const Case cases[] = {
        {"none", std::nullopt, "Version ? (?)"},
        {"empty", Json::object(), "Version ? (?)"},
        {"all", Json{{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "212"}, {"BRELLGitCommit", "a1b2c3d"}},
         "Version 1.4 (212 \u00B7 a1b2c3d)"},
        {"empty commit",
         Json{{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "212"}, {"BRELLGitCommit", ""}},
         "Version 1.4 (212)"},
        {"values not text", Json{{"CFBundleShortVersionString", 1.4}, {"CFBundleVersion", 212}, {"BRELLGitCommit", 7}},
         "Version ? (?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AppVersion(c.info).display(), c.display);
    }
    AppVersion current = AppVersion::current();
    EXPECT_NE(current.marketing, "?");
    EXPECT_TRUE(current.commit) << "a commit, or \"unknown\" outside a git checkout";
}

} // namespace
} // namespace brell
