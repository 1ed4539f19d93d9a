#pragma once
// The application's own choices, kept in `settings.json` in the BRELL folder: the AI
// provider and model the user picked, the first-run steps already seen, and whatever
// later commands add. Keys this build does not know are kept as they are when the file
// is saved, so an older and a newer brell can share one file.
//
// The file never holds a secret: API keys come only from the environment, and `set`
// refuses any key whose name says it holds one.
//
// Not thread-safe; one per command. `load` and `save` throw FileError (via FileSystem)
// when the file cannot be read or written; an unreadable or malformed file loads as
// empty settings, so a damaged file never stops a command (the next save replaces it).
#include <optional>
#include <string>

#include "util/Json.h"

namespace brell {

class AppSettings {
public:
    // The settings at `path`, or empty settings when the file is missing or malformed.
    static AppSettings load(const std::string& path);
    // `settings.json` in the BRELL application-support folder (beside Memory.sqlite),
    // or $BRELL_SETTINGS when it is set to an absolute path.
    static std::string defaultPath();

    // The stored value of `key`, or nothing.
    std::optional<Json> value(const std::string& key) const;
    // The stored value when it is a string.
    std::optional<std::string> string(const std::string& key) const;

    // Sets `key`; a null value removes it. Names that look like secrets ("key", "token",
    // "secret", "password" anywhere in the name, any case) are refused with
    // std::invalid_argument: they never belong in this file.
    void set(const std::string& key, const Json& value);

    // Writes the file whole and atomically, owner-only.
    void save() const;

    const std::string& path() const { return path_; }

private:
    AppSettings(std::string path, Json values);
    std::string path_;
    Json values_;
};

} // namespace brell
