#pragma once
// The shared test helper: a temporary folder per test, fixture files, and running the
// real executables with bytes on standard input.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brell::test {

// A fresh folder under the temporary folder, removed with everything in it when the
// object goes away.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The contents of a file under tests/data.
std::string fixture(const std::string& relativePath);
std::string fixturePath(const std::string& relativePath);

// The path of one of the built executables ("brell", "brell-memory-host").
std::string binary(const std::string& name);

struct ProcessResult {
    int exitStatus = -1; // -1 when the process was killed by a signal
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::vector<std::string> args;               // after the program name
    std::map<std::string, std::string> setEnv;   // added to or replacing the environment
    std::vector<std::string> unsetEnv;           // removed from the environment
    std::string input;                           // written to standard input, then closed
};

// Runs `program` to completion, feeding `input` and gathering both output streams.
ProcessResult run(const std::string& program, const ProcessOptions& options);

// Native-messaging frames: a 4-byte native-order length, then the body.
std::string frame(const std::string& body);
// Splits concatenated frames; a torn last frame is returned in `rest`.
std::vector<std::string> unframe(const std::string& bytes, std::string* rest = nullptr);

} // namespace brell::test
