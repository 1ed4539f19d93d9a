// The commands that connect a hand-connected assistant: what a POSIX shell makes of them
// is exactly the assistant's own command line with this copy's path as one word,
// whatever that path holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BrellCore/integration/AssistantConnections.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

using RelocationRepair::ManualConnection;

// The words /bin/sh splits `command` into, each in brackets.
std::string wordsOf(const std::string& command) {
    test::ProcessOptions options;
    options.args = {"-c", "set -- " + command + "; for w in \"$@\"; do printf '[%s]' \"$w\"; done"};
    options.setEnv = {{"HOME", "/nowhere"}, {"brell", "EXPANDED"}};
    auto r = test::run("/bin/sh", options);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
}

TEST(AssistantConnectionsTest, TheShellSeesThePathAsOneWord) {
    const std::string paths[] = {
        "/usr/local/bin/brell", "/home/ann/My Tools/bin/brell", "/home/ann/it's/brell",  "/opt/$brell/`id`/brell",
        "~/bin/brell",          "/opt/*/brell;rm -rf x",        "/opt/a\\b/\"q\"/brell", "/opt/tab\there/brell",
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        const std::string word = "[" + path + "]";
        EXPECT_EQ(wordsOf(AssistantConnections::shellQuoted(path)), word);
        EXPECT_EQ(wordsOf(AssistantConnections::connectCommand(ManualConnection::claudeCode, path)),
                  "[claude][mcp][add][--scope][user][brell][--]" + word + "[--mcp]");
        EXPECT_EQ(wordsOf(AssistantConnections::connectCommand(ManualConnection::codex, path)),
                  "[codex][mcp][add][brell][--]" + word + "[--mcp]");
        EXPECT_EQ(wordsOf(AssistantConnections::connectCommand(ManualConnection::gemini, path)),
                  "[gemini][mcp][add][--scope][user][brell]" + word + "[--][--mcp]");
    }
    EXPECT_EQ(AssistantConnections::shellQuoted("/usr/local/bin/brell"), "/usr/local/bin/brell") << "plain stays plain";
}

TEST(AssistantConnectionsTest, EachStateSaysWhatToRun) {
    const std::string self = "/usr/local/bin/brell";
    struct Case {
        ManualConnection connection;
        ConnectionPath status;
        std::string line;
    };
    const Case cases[] = {
        {ManualConnection::claudeCode, ConnectionPath::current(), "Claude Code: connected to this copy of BRELL."},
        {ManualConnection::codex, ConnectionPath::notFound(),
         "Codex: not connected. Connect with: codex mcp add brell -- /usr/local/bin/brell --mcp"},
        {ManualConnection::gemini, ConnectionPath::stale("/old/brell", false),
         "Gemini CLI: uses a copy of BRELL that's gone (/old/brell). Reconnect with: gemini mcp remove --scope user "
         "brell && gemini mcp add --scope user brell /usr/local/bin/brell -- --mcp"},
        {ManualConnection::claudeCode, ConnectionPath::stale("/other/brell", true),
         "Claude Code: uses another copy of BRELL (/other/brell). To use this one: claude mcp remove --scope user "
         "brell && claude mcp add --scope user brell -- /usr/local/bin/brell --mcp"},
    };
    for (const auto& c : cases) {
        AssistantConnections::Link link{c.connection, std::string(RelocationRepair::displayName(c.connection)),
                                        "/home/ann/config", c.status};
        SCOPED_TRACE(c.line);
        EXPECT_EQ(AssistantConnections::describe(link, self), c.line);
        EXPECT_EQ(link.name + ": " + AssistantConnections::state(link, self), c.line);
    }
}

} // namespace
} // namespace brell
