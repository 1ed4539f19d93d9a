// Reading the assistants' configuration files: any bytes as Codex's config.toml, as the
// JSON of ~/.claude.json or ~/.gemini/settings.json, and as Claude Desktop's file, which
// is also repaired; any bytes as a path an entry registers; any text as an extension's
// manifest "key".
//
// Checked: a command read from TOML holds no line break; whatever `brell connect` writes for a command (TOML or JSON
// entry) reads back as that command, for the command read and for the input itself as
// a path; classifying a command never calls a different path current, and a stale one
// keeps the command as written; planning the Claude Desktop repair never fails on what
// it parsed, agrees with the JSON reader about the entry, and a repair leaves the file
// pointing at this copy, the previous bytes in the backup, and a second plan `current`;
// an extension identifier is 32 letters a to p.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BrellCore/connector/AssistantConnection.h"
#include "BrellCore/integration/AssistantConfigPath.h"
#include "BrellCore/integration/CompanionSync.h"
#include "FuzzSupport.h"
#include "platform/FileSystem.h"
#include "util/Json.h"

namespace brell {
namespace {

using fuzz::check;

constexpr const char* thisCopy = "/opt/brell/bin/brell";

const AssistantConnection& connection(const std::string& id) {
    static const auto all = AssistantConnection::all("/home/ann", "/home/ann/.config");
    for (const auto& each : all) {
        if (each.id == id) {
            return each;
        }
    }
    fuzz::fail("no assistant named", id);
}

// What `brell connect` prints for `command` is read back as `command`.
void checkRoundTrip(const std::string& command) {
    if (auto toml = connection("codex").entry(command)) {
        check(AssistantConfigPath::tomlCommand(*toml) == command, "a written TOML entry reads back", *toml);
    }
    if (JsonText::compact(Json(command))) {
        auto json = connection("claude-code").entry(command);
        check(json.has_value(), "a JSON entry can always be written", command);
        check(AssistantConfigPath::jsonCommand(*json) == command, "a written JSON entry reads back", *json);
    }
}

void checkStatus(const std::optional<std::string>& command) {
    ConnectionPath none = AssistantConfigPath::status(command, thisCopy, [](const std::string&) { return false; });
    if (!command || command->empty()) {
        check(none == ConnectionPath::notFound(), "no command is notFound");
        return;
    }
    if (none.kind == ConnectionPath::Kind::stale) {
        check(none.oldPath == *command && !none.exists, "a stale path is the command as written", *command);
    } else {
        check(none.kind == ConnectionPath::Kind::current, "a command is current or stale", *command);
    }
    (void)AssistantConfigPath::looksLikeBRELLBinary(*command);
}

void checkClaudeDesktop(std::string_view bytes) {
    static const std::string config = fuzz::scratchFolder() + "/Claude/claude_desktop_config.json";
    static const std::string backup = fuzz::scratchFolder() + "/Claude/" + AssistantConfigPath::backupName;
    static const bool made = (FileSystem::makeFolders(fuzz::scratchFolder() + "/Claude"), true);
    (void)made;
    fuzz::writeFile(config, bytes);
    FileSystem::remove(backup);

    ManifestRepair plan = AssistantConfigPath::planClaudeDesktop(config, thisCopy);
    check(plan.kind != ManifestRepair::Kind::failed, "a parsed file can always be written again", plan.text);
    auto command = AssistantConfigPath::jsonCommand(bytes);
    check((plan.kind == ManifestRepair::Kind::missing) == !command, "missing exactly when there is no command");
    if (plan.kind != ManifestRepair::Kind::repaired) {
        return;
    }
    check(plan.text == *command, "a repair names the old command", plan.text);
    ManifestRepair done = AssistantConfigPath::repairClaudeDesktop(config, thisCopy);
    check(done == plan, "the repair does what the plan said", done.text);
    auto written = FileSystem::read(config);
    check(written && AssistantConfigPath::jsonCommand(*written) == std::string(thisCopy),
          "the repaired file points at this copy", written.value_or(""));
    check(FileSystem::read(backup) == std::string(bytes), "the backup holds the previous bytes");
    check(AssistantConfigPath::planClaudeDesktop(config, thisCopy) == ManifestRepair::current(),
          "a second repair finds it current", *written);
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    auto toml = AssistantConfigPath::tomlCommand(text);
    if (toml) {
        check(toml->find_first_of("\r\n") == std::string::npos, "a TOML command is on one line", *toml);
        checkRoundTrip(*toml);
    }
    checkStatus(toml);

    auto json = AssistantConfigPath::jsonCommand(text);
    if (json) {
        checkRoundTrip(*json);
    }
    checkStatus(json);

    checkRoundTrip(std::string(text));
    checkClaudeDesktop(text);

    if (auto id = CompanionSync::extensionID(std::string(text))) {
        check(id->size() == 32, "an extension identifier has 32 letters", *id);
        for (char c : *id) {
            check(c >= 'a' && c <= 'p', "an extension identifier is letters a to p", *id);
        }
    }
    return 0;
}
