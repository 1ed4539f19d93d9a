#pragma once
// The assistant connector: a Model Context Protocol server that AI assistants on this
// computer start as a child process and talk to in JSON-RPC 2.0, one message per line.
// handle() turns one line into one reply line (or none, for a notification). It answers
// "initialize", "ping", the tools, the six prompts and the one resource (the guide),
// and everything it serves is read-only.
//
// A plain value that keeps no state between lines: every tool call reads the board
// file, the sharing settings beside it and the memory (through the provider functions)
// afresh. Its only write is one line of the access log beside the board per answered
// tool call. It reaches the memory only through the providers; an absent provider
// means that kind of data is unavailable, and a provider that throws counts as one
// that found nothing.
//
// handle() may be called from one thread at a time per value (the providers it is
// given decide anything further). It never throws: every failure becomes a reply
// (only std::bad_alloc escapes).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrellCore/board/Card.h"
#include "BrellMemory/records/AssistantBrell.h"
#include "BrellMemory/records/ContextPassage.h"
#include "BrellMemory/records/ScreenGlimpse.h"
#include "BrellMemory/records/VisualPicture.h"
#include "BrellMemory/records/VisualSummary.h"
#include "util/Date.h"
#include "util/DateFormat.h"
#include "util/Json.h"

namespace brell {

class MCPServer {
public:
    using PassageProvider = std::function<std::vector<ContextPassage>(const std::string& text, int64_t limit)>;
    using VisualListProvider = std::function<std::vector<VisualSummary>(const std::string& query, int64_t limit)>;
    using VisualPicturesProvider =
        std::function<std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>>(int64_t id)>;
    using BrellsProvider = std::function<std::vector<AssistantBrell>()>;
    using ScreenProvider = std::function<std::vector<ScreenGlimpse>(const std::string& query, int64_t limit)>;
    using GroupsProvider = std::function<std::vector<std::pair<std::string, int64_t>>()>;

    // A tool's text answer; `isError` marks a refusal or a usage mistake.
    struct ToolText {
        std::string text;
        bool isError = false;
    };
    // A visual tool's answer: text and image content items.
    struct ToolContent {
        OrderedJson content; // an array
        bool isError = false;
    };

    static constexpr std::string_view guideURI = "brell://guide";
    static constexpr std::size_t maxPictureBytes = 700000;
    static const std::string_view instructions;
    // The annotations of every tool: {"readOnlyHint": true, "openWorldHint": false}.
    static OrderedJson readOnly();
    // The lane argument's schema.
    static OrderedJson laneSchema();
    // The ten tools, in the order "tools/list" gives them.
    static const OrderedJson& tools();

    // The other five providers start absent; the hosting process sets those it offers.
    MCPServer(std::string boardURL, PassageProvider memoryContext, PassageProvider memoryMoments);

    std::string boardURL;                  // board.json; the sharing settings and the log sit beside it
    std::string serverVersion = "0.6.0";   // reported in "serverInfo"
    Clock now;                             // the system clock unless a test replaces it
    PassageProvider memoryContext;         // passages for a topic
    PassageProvider memoryMoments;         // exact moments for a question
    VisualListProvider visualList;         // visual sessions matching a query
    VisualPicturesProvider visualPictures; // one session's pictures
    BrellsProvider brells;                 // the user's brells with their tasks
    ScreenProvider screenActivity;         // recent windows from screen memory
    GroupsProvider screenGroups;           // the groups screen activity was sorted into
    // The zone dates are shown in; the local one unless a test fixes it.
    std::string timeZone = std::string(DateFormat::localZone);

    // One request line in, one reply line out; nothing for a notification (a message
    // without "id"). A line that is not a JSON object gets the parse error with id null.
    std::optional<std::string> handle(std::string_view line) const;

    // The manual plus what is shared right now; logs one read while sharing is on.
    std::string guideText() const;

    // Every tool but the two visual ones and the guide; an unknown name is answered
    // "Unknown tool <name>." as an error result.
    ToolText call(std::string_view name, const Json& arguments) const;

    // "list_brell_visuals" and "get_brell_visual".
    ToolContent visual(std::string_view name, const Json& arguments) const;

    // The words of a topic: lower-cased pieces between characters that are neither
    // letters nor digits, without pieces of 2 characters or fewer (unless all digits),
    // stop words and repeats, in the order of the text.
    static std::vector<std::string> topicWords(std::string_view text);

private:
    // What every tool `call` handles starts from: the settings, the shared cards (newest
    // capture first, narrowed to the "lane" argument when one is given), or a refusal.
    struct Shared;

    OrderedJson dispatch(const std::string& method, const Json& params) const;
    OrderedJson toolsCall(const Json& params) const;
    void log(std::string_view tool, std::string detail, int64_t itemCount) const;

    ToolText searchBrell(const Shared& shared, const Json& arguments) const;
    ToolText getContext(const Shared& shared, const Json& arguments) const;
    ToolText findMoment(const Shared& shared, const Json& arguments) const;
    ToolText getActivity(const Shared& shared, const Json& arguments) const;
    ToolText listBrells(const Shared& shared) const;
    ToolText getItem(const Shared& shared, const Json& arguments) const;
    ToolText getBrief(const Shared& shared) const;
    ToolContent listVisuals(const Json& arguments) const;
    ToolContent getVisual(const Json& arguments) const;

    // The providers, each answering nothing when absent or failing.
    std::vector<AssistantBrell> brellList() const;
    std::vector<ContextPassage> passages(const PassageProvider& provider, const std::string& text, int64_t limit) const;
    std::vector<ScreenGlimpse> windows(const std::string& query, int64_t limit) const;
    std::vector<std::pair<std::string, int64_t>> groups() const;
};

} // namespace brell
