#include "BrellCore/connector/ConnectorProcess.h"

#include <istream>
#include <ostream>

namespace brell::ConnectorProcess {

MCPServer makeServer(const std::string& boardURL, std::shared_ptr<ConnectorMemory> memory) {
    MCPServer server(
        boardURL,
        [memory](const std::string& topic, int64_t limit) -> std::vector<ContextPassage> {
            MemoryStore* store = memory->store();
            return store ? store->contextPassages(topic, static_cast<std::size_t>(limit))
                         : std::vector<ContextPassage>{};
        },
        [memory](const std::string& question, int64_t limit) -> std::vector<ContextPassage> {
            MemoryStore* store = memory->store();
            return store ? store->momentPassages(question, static_cast<std::size_t>(limit))
                         : std::vector<ContextPassage>{};
        });
    server.visualList = [memory](const std::string& query, int64_t limit) -> std::vector<VisualSummary> {
        MemoryStore* store = memory->store();
        return store ? store->visualSummaries(query, limit) : std::vector<VisualSummary>{};
    };
    server.visualPictures =
        [memory](int64_t id) -> std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>> {
        MemoryStore* store = memory->store();
        return store ? store->visualPictures(id) : std::nullopt;
    };
    server.screenActivity = [memory](const std::string& query, int64_t limit) -> std::vector<ScreenGlimpse> {
        MemoryStore* store = memory->store();
        return store ? store->screenGlimpses(query, limit) : std::vector<ScreenGlimpse>{};
    };
    server.screenGroups = [memory]() -> std::vector<std::pair<std::string, int64_t>> {
        std::vector<std::pair<std::string, int64_t>> groups;
        if (MemoryStore* store = memory->store()) {
            for (const ScreenGroup& group : store->screenGroups(12)) {
                groups.emplace_back(group.name, group.count);
            }
        }
        return groups;
    };
    server.brells = [memory]() -> std::vector<AssistantBrell> {
        MemoryStore* store = memory->store();
        return store ? store->assistantBrells() : std::vector<AssistantBrell>{};
    };
    return server;
}

int serve(std::istream& in, std::ostream& out, const MCPServer& server) {
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        if (auto reply = server.handle(line)) {
            out << *reply << '\n';
            out.flush();
            if (!out) {
                return 0;
            }
        }
    }
    return 0;
}

} // namespace brell::ConnectorProcess
