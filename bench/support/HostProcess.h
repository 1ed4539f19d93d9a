#pragma once
// A running brell-memory-host with pipes on its standard streams, for benchmarks that
// talk to the real executable as the browser does: one framed request, one framed reply.
#include <string>

#include "support/Subprocess.h"

namespace brell::bench {

class HostProcess {
public:
    // Starts the host in test mode on `databasePath`.
    explicit HostProcess(const std::string& databasePath);
    ~HostProcess(); // closes the input and waits for the process
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Sends one body and returns the reply body. Throws std::runtime_error when the host
    // goes away.
    std::string roundTrip(const std::string& body);

private:
    test::Subprocess child_;
};

// The path of a built executable next to the benchmarks.
std::string binary(const std::string& name);

} // namespace brell::bench
