#include "brell/AppSettings.h"

#include <stdexcept>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "util/Text.h"

namespace brell {

AppSettings::AppSettings(std::string path, Json values) : path_(std::move(path)), values_(std::move(values)) {}

AppSettings AppSettings::load(const std::string& path) {
    Json values = Json::object();
    if (auto text = FileSystem::read(path)) {
        if (auto parsed = JsonText::parse(*text); parsed && parsed->is_object()) {
            values = std::move(*parsed);
        }
    }
    return AppSettings(path, std::move(values));
}

std::string AppSettings::defaultPath() {
    if (auto path = Environment::nonEmptyValue("BRELL_SETTINGS"); path && path->front() == '/') {
        return *path;
    }
    return Environment::join(Environment::join(Environment::applicationSupportFolder(), "BRELL"), "settings.json");
}

std::optional<Json> AppSettings::value(const std::string& key) const {
    auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return *found;
}

std::optional<std::string> AppSettings::string(const std::string& key) const {
    auto found = value(key);
    return found ? JsonText::string(*found) : std::nullopt;
}

void AppSettings::set(const std::string& key, const Json& value) {
    const std::string lower = Text::asciiLower(key);
    for (const char* word : {"key", "token", "secret", "password"}) {
        if (lower.find(word) != std::string::npos) {
            throw std::invalid_argument("settings.json never holds secrets; refused the setting " + key);
        }
    }
    if (value.is_null()) {
        values_.erase(key);
    } else {
        values_[key] = value;
    }
}

void AppSettings::save() const {
    FileSystem::writeAtomically(path_, values_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

} // namespace brell
