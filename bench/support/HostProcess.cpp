#include "support/HostProcess.h"

#include <stdexcept>

namespace brell::bench {
namespace {

test::ProcessOptions hostOptions(const std::string& databasePath) {
    test::ProcessOptions options;
    options.setEnv = {{"BRELL_MEMORY_DB", databasePath}};
    return options;
}

} // namespace

std::string binary(const std::string& name) {
    return std::string(BRELL_BIN_DIR) + "/" + name;
}

HostProcess::HostProcess(const std::string& databasePath)
    : HostProcess(binary("brell-memory-host"), hostOptions(databasePath)) {}

HostProcess::HostProcess(const std::string& program, const test::ProcessOptions& options) : child_(program, options) {}

std::unique_ptr<HostProcess> HostProcess::echo() {
    return std::unique_ptr<HostProcess>(new HostProcess("/bin/cat", test::ProcessOptions{}));
}

HostProcess::~HostProcess() {
    child_.closeInput();
    child_.wait();
}

std::string HostProcess::roundTrip(const std::string& body) {
    auto length = static_cast<uint32_t>(body.size());
    std::string frame(reinterpret_cast<const char*>(&length), 4);
    if (!child_.write(frame + body)) {
        throw std::runtime_error("the host stopped reading");
    }
    auto reply = child_.readFrame(std::chrono::minutes(1));
    if (!reply) {
        throw std::runtime_error("the host closed its output");
    }
    return *reply;
}

} // namespace brell::bench
