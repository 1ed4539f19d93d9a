// The assistant connector's wire: any bytes as one line handed to MCPServer::handle,
// over a small shared board, with every provider present. The first byte picks the
// sharing settings, so both the refusals and the tools' answers are reached.
//
// Checked: a reply is one line of valid JSON-RPC 2.0 (an object with "jsonrpc" "2.0",
// an "id" and exactly one of "result" and "error", the error with an integer code and a
// string message); a tool result has a content array and a boolean "isError"; a message
// without "id" gets no reply; handle never throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BrellCore/board/CardStore.h"
#include "BrellCore/connector/AccessLog.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellCore/connector/MCPServer.h"
#include "FuzzSupport.h"
#include "util/Json.h"

namespace {

using namespace brell;

std::string boardPath() {
    static const std::string path = [] {
        std::string board = fuzz::scratchFolder() + "/board.json";
        CardStore store(board);
        store.load();
        SourceRef page{"Tides", std::string("https://tides.example/a"), "Safari", std::nullopt, false};
        store.upsert(Card(Capture(UUID::random(), CaptureKind::quote, std::string("Spring tides follow the moon."),
                                  std::nullopt, std::nullopt, page, 1740819907.0),
                          Lane::evidence, std::nullopt, UUID::random(), 1740819907.0, std::nullopt));
        store.upsert(Card(Capture(UUID::random(), CaptureKind::url, std::nullopt, std::string("https://moon.example/"),
                                  std::string("Moon"), page, 1740819908.0),
                          Lane::links, std::nullopt, UUID::random(), 1740819908.0, std::nullopt));
        return board;
    }();
    return path;
}

MCPServer makeServer() {
    auto passages = [](const std::string& text, int64_t) {
        return std::vector<ContextPassage>{ContextPassage{"Video transcript", "Tides", std::string("01:05"), text,
                                                          std::nullopt, "https://v.example/"}};
    };
    MCPServer server(boardPath(), passages, passages);
    server.now = [] { return 1740819907.0; };
    server.timeZone = "UTC";
    server.brells = [] {
        return std::vector<AssistantBrell>{
            AssistantBrell{"Tides", {"moon", "tide"}, std::string("Read"), std::nullopt, std::nullopt}};
    };
    server.screenActivity = [](const std::string& query, int64_t) {
        return std::vector<ScreenGlimpse>{ScreenGlimpse{"Reader", query, std::nullopt, 1740819000.0, 1740819900.0,
                                                        std::nullopt, query + " text", std::nullopt}};
    };
    server.screenGroups = [] { return std::vector<std::pair<std::string, int64_t>>{{"Tides", 2}}; };
    server.visualList = [](const std::string& query, int64_t) {
        return std::vector<VisualSummary>{VisualSummary{1, "App", query, query, 0, 1, 2, 2, false}};
    };
    server.visualPictures = [](int64_t id) -> std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>> {
        if (id < 0) {
            return std::nullopt;
        }
        return std::make_pair(VisualSummary{id, "App", "", "", 0, 1, 2, 2, true},
                              std::vector<VisualPicture>{VisualPicture{0, {0xFF, 0xD8}}});
    };
    return server;
}

void checkReply(const std::string& line, const std::string& reply) {
    using fuzz::check;
    check(reply.find('\n') == std::string::npos, "a reply is one line", reply);
    auto json = JsonText::parse(reply);
    check(json && json->is_object(), "a reply is a JSON object", reply);
    check(JsonText::member(*json, "jsonrpc") == "2.0", "a reply carries jsonrpc 2.0", reply);
    check(json->contains("id"), "a reply carries an id", reply);
    bool isResult = json->contains("result");
    bool isError = json->contains("error");
    check(isResult != isError, "a reply has a result or an error", reply);
    if (isError) {
        const Json& error = (*json)["error"];
        check(error.is_object() && error["code"].is_number_integer() && error["message"].is_string(),
              "an error has a code and a message", reply);
        return;
    }
    check((*json)["result"].is_object(), "a result is an object", reply);
    auto request = JsonText::parse(line);
    if (request && JsonText::member(*request, "method") == "tools/call") {
        const Json& result = (*json)["result"];
        check(result["content"].is_array() && !result["content"].empty() && result["isError"].is_boolean(),
              "a tool result has content and isError", reply);
    }
}

} // namespace

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const MCPServer server = makeServer();
    static int runs = 0;
    if (++runs % 1000 == 0) {
        AccessLog::clear(AccessLog::fileURL(boardPath())); // every tool call appends to it
    }
    if (size == 0) {
        return 0;
    }
    // The first byte's low bits choose the switches; the rest is the line.
    uint8_t switches = data[0];
    AssistantAccess((switches & 1) != 0, {Lane::links, Lane::notes, Lane::evidence}, (switches & 2) != 0,
                    (switches & 4) != 0, (switches & 8) != 0, (switches & 16) != 0)
        .save(AssistantAccess::fileURL(boardPath()));
    std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    std::optional<std::string> reply;
    try {
        reply = server.handle(line);
    } catch (...) {
        fuzz::fail("handle threw", line);
    }
    auto request = JsonText::parse(line);
    bool notification = request && request->is_object() && !request->contains("id");
    fuzz::check(reply.has_value() != notification, "exactly the messages without an id go unanswered", line);
    if (reply) {
        checkReply(line, *reply);
    }
    return 0;
}
