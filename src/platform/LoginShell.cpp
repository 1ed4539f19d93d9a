#include "platform/LoginShell.h"

#include <pwd.h>
#include <unistd.h>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"

namespace brell::LoginShell {
namespace {

bool isExecutable(const std::string& file) {
    return !file.empty() && file.front() == '/' && ChildProcess::isExecutable(file);
}

std::string trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\r\n\v\f";
    auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(space) - first + 1));
}

} // namespace

std::string path() {
#if defined(__APPLE__)
    return "/bin/zsh";
#else
    if (auto shell = Environment::nonEmptyValue("SHELL"); shell && isExecutable(*shell)) {
        return *shell;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_shell != nullptr) {
        if (std::string shell = entry->pw_shell; isExecutable(shell)) {
            return shell;
        }
    }
    return "/bin/sh";
#endif
}

std::optional<std::string> commandPath(std::string_view command, std::chrono::duration<double> limit) {
    ChildProcess::Options options;
    options.program = path();
    options.args = {"-lc", "command -v " + std::string(command)};
    options.keepErrors = false;
    options.timeoutSeconds = limit.count();
    options.pollInterval = std::chrono::milliseconds(20);
    try {
        auto result = ChildProcess::run(options, CancelToken());
        if (result.ending != ChildProcess::Ending::exited && result.ending != ChildProcess::Ending::signalled) {
            return std::nullopt;
        }
        std::string answer = trimmed(result.out);
        if (answer.empty() || answer.front() != '/') {
            return std::nullopt;
        }
        return answer;
    } catch (const ChildProcess::StartError&) {
        return std::nullopt;
    }
}

} // namespace brell::LoginShell
