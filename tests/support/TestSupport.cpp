#include "support/TestSupport.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Fd.h"
#include "platform/FileSystem.h"

extern char** environ;

namespace brell::test {

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/brell-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string fixturePath(const std::string& relativePath) {
    return std::string(BRELL_TEST_DATA) + "/" + relativePath;
}

std::string fixture(const std::string& relativePath) {
    auto bytes = FileSystem::read(fixturePath(relativePath));
    if (!bytes) {
        throw std::runtime_error("missing fixture " + relativePath);
    }
    return *bytes;
}

std::string binary(const std::string& name) {
    return std::string(BRELL_BIN_DIR) + "/" + name;
}

ProcessResult brell(std::vector<std::string> args, const std::map<std::string, std::string>& env, std::string input) {
    ProcessOptions options;
    options.args = std::move(args);
    options.setEnv = env;
    options.input = std::move(input);
    return run(binary("brell"), options);
}

std::map<std::string, std::string> AppHome::env(const std::map<std::string, std::string>& extra) const {
    std::map<std::string, std::string> out = {{"HOME", path()},
                                              {"XDG_DATA_HOME", file("data")},
                                              {"XDG_CONFIG_HOME", file("config")},
                                              {"BRELL_MEMORY_DB", memoryPath()},
                                              {"BRELL_BOARD", boardPath()},
                                              {"TZ", "UTC"}};
    for (const auto& [key, value] : extra) {
        out[key] = value;
    }
    return out;
}

ProcessResult AppHome::brell(std::vector<std::string> args, std::string input,
                             const std::map<std::string, std::string>& extra) const {
    return test::brell(std::move(args), env(extra), std::move(input));
}

std::string frame(const std::string& body) {
    auto length = static_cast<uint32_t>(body.size());
    std::string out(reinterpret_cast<const char*>(&length), 4);
    return out + body;
}

std::vector<std::string> unframe(const std::string& bytes, std::string* rest) {
    std::vector<std::string> bodies;
    std::size_t at = 0;
    while (bytes.size() - at >= 4) {
        uint32_t length = 0;
        std::memcpy(&length, bytes.data() + at, 4);
        if (bytes.size() - at - 4 < length) {
            break;
        }
        bodies.push_back(bytes.substr(at + 4, length));
        at += 4 + length;
    }
    if (rest != nullptr) {
        *rest = bytes.substr(at);
    }
    return bodies;
}

} // namespace brell::test
