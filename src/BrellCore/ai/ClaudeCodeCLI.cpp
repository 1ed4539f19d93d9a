#include "BrellCore/ai/ClaudeCodeCLI.h"

#include <filesystem>
#include <mutex>

#include "BrellCore/board/UUID.h"
#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/LoginShell.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t messageLimit = 200;
constexpr std::string_view downloadPage = "https://claude.ai";

std::mutex locationLock;
std::optional<std::optional<std::string>> location; // guarded by locationLock

bool contains(const std::string& lowerText, std::string_view word) {
    return lowerText.find(word) != std::string::npos;
}

std::string trimSpacesAndTabs(std::string_view text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// The run's working folder, removed (ignoring errors) however the run ends.
class WorkingFolder {
public:
    WorkingFolder()
        : path_(Environment::join(Environment::temporaryFolder(), "brell-claude-" + UUID::random().text())) {
        FileSystem::makeFolders(path_, 0700);
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

ClaudeCodeCLI::Failure::Failure(Kind kind, std::string message)
    : Error(message.empty() ? "Claude Code failed" : message), kind_(kind), message_(std::move(message)) {}

ClaudeCodeCLI::Failure ClaudeCodeCLI::Failure::notSignedIn(std::string_view message) {
    return {Kind::notSignedIn, Text::prefixCharacters(message, messageLimit)};
}

ClaudeCodeCLI::Failure ClaudeCodeCLI::Failure::failed(std::string_view message) {
    return {Kind::failed, Text::prefixCharacters(message, messageLimit)};
}

ClaudeCodeCLI::Failure ClaudeCodeCLI::Failure::notInstalled() {
    return {Kind::notInstalled, ""};
}

ClaudeCodeCLI::Failure ClaudeCodeCLI::Failure::timeout() {
    return {Kind::timeout, ""};
}

ClaudeCodeCLI::Failure ClaudeCodeCLI::Failure::malformed() {
    return {Kind::malformed, ""};
}

std::vector<std::string> ClaudeCodeCLI::searchPaths(const std::string& home) {
    return {home + "/.local/bin/claude", home + "/.claude/local/claude", "/opt/homebrew/bin/claude",
            "/usr/local/bin/claude", home + "/.npm-global/bin/claude"};
}

std::optional<std::string> ClaudeCodeCLI::locate() {
    std::lock_guard lock(locationLock);
    if (location) {
        return *location;
    }
    std::optional<std::string> found;
    if (auto answer = LoginShell::commandPath("claude"); answer && ChildProcess::isExecutable(*answer)) {
        found = answer;
    } else {
        for (const auto& candidate : searchPaths(Environment::homeFolder())) {
            if (ChildProcess::isExecutable(candidate)) {
                found = candidate;
                break;
            }
        }
    }
    location = found;
    return found;
}

void ClaudeCodeCLI::resetLocation() {
    std::lock_guard lock(locationLock);
    location.reset();
}

ExplainError ClaudeCodeCLI::explainError(const Failure& failure) {
    switch (failure.kind()) {
    case Failure::Kind::notSignedIn:
        return ExplainError::unavailable(
            "Claude Code isn't signed in. Open Terminal, run claude once and sign in with your Claude account.");
    case Failure::Kind::failed:
        return ExplainError::unavailable("Claude Code couldn't answer: " + failure.message());
    case Failure::Kind::notInstalled:
        return ExplainError::unavailable("Claude Code isn't installed. Install it from " + std::string(downloadPage) +
                                         " and sign in, or choose another provider in Settings \u2192 AI.");
    case Failure::Kind::timeout:
        return ExplainError::timeout();
    case Failure::Kind::malformed:
        return ExplainError::invalidResponse();
    }
    return ExplainError::invalidResponse();
}

std::vector<std::string> ClaudeCodeCLI::arguments(const std::string& system, const std::string& schemaText,
                                                  const std::optional<std::string>& model,
                                                  const std::optional<std::string>& effort) {
    std::vector<std::string> args = {"-p",
                                     "--output-format",
                                     "json",
                                     "--tools",
                                     "",
                                     "--strict-mcp-config",
                                     "--disable-slash-commands",
                                     "--no-session-persistence",
                                     "--system-prompt",
                                     system,
                                     "--json-schema",
                                     schemaText};
    if (model && !trimSpacesAndTabs(*model).empty()) {
        args.insert(args.end(), {"--model", *model});
    }
    if (effort) {
        args.insert(args.end(), {"--effort", *effort});
    }
    return args;
}

std::map<std::string, std::string> ClaudeCodeCLI::environment(std::map<std::string, std::string> current,
                                                              const std::string& home,
                                                              const std::string& programFolder) {
    current.erase("ANTHROPIC_API_KEY");
    current.erase("ANTHROPIC_AUTH_TOKEN");
    auto inherited = current.find("PATH");
    std::string tail = inherited != current.end() ? inherited->second : "/usr/bin:/bin:/usr/sbin:/sbin";
    current["HOME"] = home;
    current["PATH"] = home + "/.local/bin:/opt/homebrew/bin:/usr/local/bin:" + programFolder + ":" + tail;
    return current;
}

Json ClaudeCodeCLI::readResult(std::string_view out, std::string_view err, int exitStatus) {
    if (auto reply = JsonText::parse(out); reply && reply->is_object()) {
        if (JsonText::boolean(JsonText::member(*reply, "is_error")) == true) {
            std::string message =
                JsonText::string(JsonText::member(*reply, "result")).value_or("Claude Code reported an error");
            std::string lower = Text::lower(message);
            if (contains(lower, "log in") || contains(lower, "/login")) {
                throw Failure::notSignedIn(message);
            }
            throw Failure::failed(message);
        }
        if (const Json& structured = JsonText::member(*reply, "structured_output"); structured.is_object()) {
            return structured;
        }
        if (auto result = JsonText::string(JsonText::member(*reply, "result"))) {
            if (auto inner = JsonText::parse(*result); inner && inner->is_object()) {
                return *inner;
            }
        }
        throw Failure::malformed();
    }
    std::string errors = Text::trim(Text::sanitizeUTF8(err));
    std::string lower = Text::lower(errors);
    if (contains(lower, "log in") || contains(lower, "login") || contains(lower, "auth")) {
        throw Failure::notSignedIn(errors);
    }
    if (!errors.empty()) {
        throw Failure::failed(errors);
    }
    throw Failure::failed("Claude Code exited with status " + std::to_string(exitStatus));
}

Json ClaudeCodeCLI::run(const std::string& system, const std::string& input, const OrderedJson& schema,
                        const std::optional<std::string>& model, const std::optional<std::string>& effort,
                        double timeoutSeconds, const CancelToken& cancel) {
    auto program = locate();
    if (!program) {
        throw Failure::notInstalled();
    }
    const std::string schemaText = schema.dump();
    WorkingFolder folder;

    ChildProcess::Options options;
    options.program = *program;
    options.args = arguments(system, schemaText, model, effort);
    options.workingFolder = folder.path();
    options.environment =
        environment(ChildProcess::currentEnvironment(), Environment::homeFolder(), FileSystem::parentFolder(*program));
    options.input = input;
    options.timeoutSeconds = timeoutSeconds;
    options.pollInterval = std::chrono::milliseconds(50);
    auto result = ChildProcess::run(options, cancel);
    switch (result.ending) {
    case ChildProcess::Ending::cancelled:
        throw ExplainError::cancelled();
    case ChildProcess::Ending::timedOut:
        throw Failure::timeout();
    case ChildProcess::Ending::signalled:
        return readResult(result.out, result.err, 128 + result.signal);
    case ChildProcess::Ending::exited:
        break;
    }
    return readResult(result.out, result.err, result.exitStatus);
}

} // namespace brell
