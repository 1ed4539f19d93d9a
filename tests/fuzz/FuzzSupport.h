#pragma once
// What the fuzz targets share: a hard failure that libFuzzer records with the input
// that caused it, a private scratch folder for the process, and descriptors holding
// bytes in memory. Used from the fuzzer's one thread.
#include <string>
#include <string_view>

namespace brell::fuzz {

// Prints "fuzz check failed: <what>" and the detail to standard error and aborts, so
// that libFuzzer keeps the input as a crash. Assertions of the targets go through
// here rather than assert(), which a build with NDEBUG would drop.
[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

// fail() unless `condition` holds.
inline void check(bool condition, std::string_view what, std::string_view detail = {}) {
    if (!condition) {
        fail(what, detail);
    }
}

// A folder of this process under the temporary folder, created on first use and
// removed when the process exits normally.
const std::string& scratchFolder();

// A descriptor of an anonymous in-memory file holding `bytes`, positioned at its start;
// the caller closes it. Aborts when the system refuses one.
int memoryFile(std::string_view bytes);

// Everything written to `fd` so far (it is rewound first).
std::string contents(int fd);

// Replaces the file at `path` with `bytes`, plainly: no temporary file and no flush to
// the disk, which would cost more than the run they serve.
void writeFile(const std::string& path, std::string_view bytes);

} // namespace brell::fuzz
