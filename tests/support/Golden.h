#pragma once
// Golden files: a formatter's whole output compared byte for byte with a file kept
// under tests/data. A run only reads them; setting BRELL_UPDATE_GOLDEN=1 writes the
// current output instead, for a change of format that is meant, to be reviewed in the
// diff before it is committed.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell::test {

inline void expectGolden(const std::string& relativePath, const std::string& actual) {
    SCOPED_TRACE(relativePath);
    const char* update = std::getenv("BRELL_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        FileSystem::writeAtomically(fixturePath(relativePath), actual);
        return;
    }
    auto expected = FileSystem::read(fixturePath(relativePath));
    ASSERT_TRUE(expected.has_value()) << "missing golden file tests/data/" << relativePath;
    EXPECT_EQ(actual, *expected);
}

} // namespace brell::test
