// Path text made comparable without touching the disk.
#include <gtest/gtest.h>

#include "platform/StandardPath.h"

namespace brell {
namespace {

TEST(StandardPathTest, Standardize) {
    struct Case {
        const char* path;
        const char* standard;
    };
    const Case cases[] = {
        {"/a/b", "/a/b"},
        {"/a//b/", "/a/b"},
        {"/a/./b/.", "/a/b"},
        {"/a/x/../b", "/a/b"},
        {"/../a", "/a"},
        {"/", "/"},
        {"//", "/"},
        {"~", "/home/ann"},
        {"~/x/../y", "/home/ann/y"},
        {"~bob/x", "~bob/x"},
        {"a/../../b", "../b"},
        {"./a", "a"},
        {".", "."},
        {"", ""},
        {"/a/b/..", "/a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(StandardPath::standardize(c.path, "/home/ann/"), c.standard);
    }
    EXPECT_TRUE(StandardPath::same("/usr//local/./bin/brell", "/usr/local/bin/brell"));
    EXPECT_FALSE(StandardPath::same("/usr/local/bin/brell", "/usr/local/bin/BRELL"));
}

} // namespace
} // namespace brell
