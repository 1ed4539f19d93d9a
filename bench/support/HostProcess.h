#pragma once
// A running brell-memory-host with pipes on its standard streams, for benchmarks that
// talk to the real executable as the browser does: one framed request, one framed reply.
// The same harness around /bin/cat, which sends every frame straight back, measures
// what the pipes and the process switches alone cost.
#include <memory>
#include <string>

#include "support/Subprocess.h"

namespace brell::bench {

class HostProcess {
public:
    // Starts the host in test mode on `databasePath`.
    explicit HostProcess(const std::string& databasePath);
    // Starts /bin/cat: each frame comes back unchanged.
    static std::unique_ptr<HostProcess> echo();
    ~HostProcess(); // closes the input and waits for the process
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Sends one body and returns the reply body. Throws std::runtime_error when the
    // process goes away.
    std::string roundTrip(const std::string& body);

private:
    HostProcess(const std::string& program, const test::ProcessOptions& options);

    test::Subprocess child_;
};

// The path of a built executable next to the benchmarks.
std::string binary(const std::string& name);

} // namespace brell::bench
