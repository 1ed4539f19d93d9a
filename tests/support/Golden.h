#pragma once
// Golden files: a formatter's whole output compared byte for byte with a file kept
// under tests/data. The runner only ever reads them, whatever the environment says: a
// run of the tests must never change what it checks against. Output that differs is
// written beside the build (golden-actual/<path>), to be copied over the golden file by
// hand once someone has read it.
#include <string>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell::test {

inline void expectGolden(const std::string& relativePath, const std::string& actual) {
    SCOPED_TRACE(relativePath);
    auto expected = FileSystem::read(fixturePath(relativePath));
    if (expected && *expected == actual) {
        return;
    }
    std::string written = std::string(BRELL_BIN_DIR) + "/../golden-actual/" + relativePath;
    FileSystem::makeFolders(FileSystem::parentFolder(written));
    FileSystem::writeAtomically(written, actual);
    ADD_FAILURE() << (expected ? "differs from tests/data/" : "missing golden file tests/data/") << relativePath
                  << "; the new output is in " << written << "\n--- expected\n"
                  << expected.value_or("") << "--- actual\n"
                  << actual << "\n";
}

} // namespace brell::test
