#pragma once
// The shared test helper: a temporary folder per test, fixture files, and running the
// real executables with bytes on standard input.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Subprocess.h"

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

// Runs the built `brell` with `args`, the environment changed by `env` and `input` on
// its standard input.
ProcessResult brell(std::vector<std::string> args, const std::map<std::string, std::string>& env,
                    std::string input = "");

// A home for the application in a fresh temporary folder: the user's home, data and
// configuration folders, the memory, the board and the settings all inside it, and the
// time zone fixed to UTC, so a test touches nothing of the machine's.
class AppHome {
public:
    AppHome() = default;

    const std::string& path() const { return folder_.path(); }
    std::string file(const std::string& name) const { return folder_.file(name); }
    std::string memoryPath() const { return file("Memory.sqlite"); }
    std::string boardPath() const { return file("board.json"); }

    // The variables every run of brell gets; `extra` adds to or replaces them.
    std::map<std::string, std::string> env(const std::map<std::string, std::string>& extra = {}) const;
    ProcessResult brell(std::vector<std::string> args, std::string input = "",
                        const std::map<std::string, std::string>& extra = {}) const;

private:
    TempFolder folder_;
};

// Native-messaging frames: a 4-byte native-order length, then the body.
std::string frame(const std::string& body);
// Splits concatenated frames; a torn last frame is returned in `rest`.
std::vector<std::string> unframe(const std::string& bytes, std::string* rest = nullptr);

} // namespace brell::test
