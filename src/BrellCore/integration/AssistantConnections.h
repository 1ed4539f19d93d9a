#pragma once
// The status of BRELL's entry in each hand-connected assistant's configuration (Claude
// Code, Codex, Gemini CLI) and the exact shell command that connects it to the running
// copy — what `brell connect`, `brell repair` and `brell doctor` show. Reads the
// assistants' files; writes nothing; throws nothing.
#include <optional>
#include <string>
#include <vector>

#include "BrellCore/integration/ConnectionPath.h"
#include "BrellCore/integration/RelocationPaths.h"
#include "BrellCore/integration/RelocationRepair.h"

namespace brell::AssistantConnections {

struct Link {
    RelocationRepair::ManualConnection connection;
    std::string name;       // "Claude Code"
    std::string configFile; // where its entry is read from
    ConnectionPath status;
};

// Each hand-connected assistant's link, in the order Claude Code, Codex, Gemini CLI.
std::vector<Link> check(const RelocationPaths& paths, const RelocationRepair::FileExists& fileExists);

// The assistant's own command that registers `appBinary --mcp` as the server "brell" for
// the user (all projects), with the path quoted for the shell when it needs it.
std::string connectCommand(RelocationRepair::ManualConnection connection, const std::string& appBinary);

// The assistant's own command that removes the server "brell" registered for the user.
std::string removeCommand(RelocationRepair::ManualConnection connection);

// What makes the link current: nothing when it is; connectCommand when there is no
// entry; removeCommand, " && ", connectCommand when the entry points elsewhere.
std::optional<std::string> fixCommand(const Link& link, const std::string& appBinary);

// The link's state and what to run, without the assistant's name: "connected to this
// copy of BRELL.", "not connected. Connect with: …", "uses a copy of BRELL that's gone
// (/old/bin/brell). Reconnect with: …", "uses another copy of BRELL (…). To use this
// one: …".
std::string state(const Link& link, const std::string& appBinary);

// One line for the user, the name and its state: "Claude Code: connected to this copy of BRELL.", "Codex: uses a
// copy of BRELL that's gone (/old/bin/brell). Reconnect with: …", "Gemini CLI: not
// connected. Connect with: …", "…: uses another copy of BRELL (…). To use this one: …".
std::string describe(const Link& link, const std::string& appBinary);

// `text` as one shell word: unchanged when it holds only characters the shell leaves
// alone, else in single quotes.
std::string shellQuoted(const std::string& text);

} // namespace brell::AssistantConnections
