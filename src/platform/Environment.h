#pragma once
// The process environment and the user's folders. Every decision that differs between
// Linux and macOS about where things live is made here and nowhere else.
#include <optional>
#include <string>
#include <string_view>

namespace brell::Environment {

// The variable's value when it is set, even when set to the empty string.
std::optional<std::string> value(const std::string& name);

// The value when it is set and not empty.
std::optional<std::string> nonEmptyValue(const std::string& name);

// The user's home folder: $HOME when set and absolute, else the password database's entry.
std::string homeFolder();

// The user's application-support folder. Linux: $XDG_DATA_HOME when set and absolute,
// else ~/.local/share. macOS: ~/Library/Application Support.
std::string applicationSupportFolder();

// The user's configuration folder. Linux: $XDG_CONFIG_HOME when set and absolute, else
// ~/.config. macOS: ~/Library/Application Support.
std::string configurationFolder();

// The folder for temporary files: $TMPDIR when set and absolute, else /tmp.
std::string temporaryFolder();

// A leading "~" (alone or followed by "/") replaced by the home folder.
std::string expandTilde(std::string_view path);

// `folder` joined with `name` by exactly one "/".
std::string join(std::string_view folder, std::string_view name);

} // namespace brell::Environment
