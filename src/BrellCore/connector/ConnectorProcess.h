#pragma once
// The connector as a process: the MCPServer that `brell --mcp` builds, with the
// providers this build can offer over a read-only memory, and the standard-input and
// output loop of the MCP stdio transport.
//
// Not thread-safe: one loop per process. serve() never throws (only std::bad_alloc).
#include <iosfwd>
#include <memory>
#include <string>

#include "BrellCore/connector/ConnectorMemory.h"
#include "BrellCore/connector/MCPServer.h"

namespace brell::ConnectorProcess {

// A server for the board at `boardURL` whose providers read `memory`: passages for a
// topic, exact moments, visual sessions and their pictures, screen activity and its
// groups, the brells with their tasks. Providers the memory does not offer yet are left absent.
MCPServer makeServer(const std::string& boardURL, std::shared_ptr<ConnectorMemory> memory);

// Reads one message per line from `in` (a line of any length is read whole; blank
// lines are skipped), writes each reply as one line to `out` and flushes it; a
// notification gets no line. Returns 0 at the end of the input, or as soon as `out`
// can no longer be written.
int serve(std::istream& in, std::ostream& out, const MCPServer& server);

} // namespace brell::ConnectorProcess
