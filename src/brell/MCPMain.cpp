// brell --mcp: the assistant connector on standard input and output. Assistants start
// it from their configuration files (see brell connect); it answers one JSON-RPC
// message per line until its input ends. Nothing but replies may reach standard output.
#include "brell/App.h"

#include <iostream>
#include <memory>

#include "BrellCore/board/CardStore.h"
#include "BrellCore/connector/ConnectorProcess.h"
#include "BrellMemory/db/MemoryStore.h"

namespace brell {

int mcpMain(int argc, char** /*argv*/) {
    if (argc != 2) {
        std::cerr << "brell: --mcp takes no other arguments.\n";
        return 2;
    }
    std::ios::sync_with_stdio(false);
    try {
        auto memory = std::make_shared<ConnectorMemory>(MemoryStore::defaultPath());
        MCPServer server = ConnectorProcess::makeServer(CardStore::defaultURL(), memory);
        return ConnectorProcess::serve(std::cin, std::cout, server);
    } catch (const std::exception& e) {
        // Only the locations can fail here (an unusable home folder, say).
        std::cerr << "brell: the assistant connector could not start: " << e.what() << "\n";
        return 1;
    }
}

} // namespace brell
