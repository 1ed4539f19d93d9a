#pragma once
// The user's login shell, asked where a command lives the way the user's own terminal
// would find it (with their profile's PATH), for programs the user installed themselves.
// Linux: $SHELL when it names an executable, else the password entry's shell, else
// /bin/sh. macOS: /bin/zsh, the system's login shell.
//
// Thread-safe; throws nothing.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace brell::LoginShell {

std::string path();

// Runs the login shell with "-lc" and "command -v <command>" (standard error to the
// null device), giving it at most `limit`; the trimmed output when it starts with "/".
// Nothing when the shell cannot start, takes too long (it is then terminated) or
// prints anything else (an alias definition, nothing at all). `command` must be a plain
// program name: it is handed to the shell as it is.
std::optional<std::string> commandPath(std::string_view command,
                                       std::chrono::duration<double> limit = std::chrono::seconds(5));

} // namespace brell::LoginShell
