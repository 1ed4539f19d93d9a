// The demo's tour, run against the built executables: every recorded event is
// accepted and every step answers.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace brell {
namespace {

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(DemoTest, TheTourRunsStartToFinish) {
    test::ProcessOptions options;
    options.args = {BRELL_BIN_DIR};
    options.unsetEnv = {"BRELL_MEMORY_DB", "BRELL_BOARD"};
    auto r = test::run(std::string(BRELL_TEST_DATA) + "/../../scripts/demo", options);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_EQ(occurrences(r.out, "\"status\":\"accepted\""), 7u) << r.out;
    for (const char* expected :
         {"Imported 6 cues", "Saved ", "1. Why are there two tides a day?", "Watched at this moment",
          "#t=", "Seen before: Why are there two tides a day?", "quotes on the board: 1", "3 sources",
          "# spring tides\n", "\n## Passages\n", "(held back: made without AI)", "Written by Mock \u00b7 test mode."}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(r.out.find("\x1b["), std::string::npos); // no colours when not on a terminal
}

} // namespace
} // namespace brell
