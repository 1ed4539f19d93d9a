#include "platform/Environment.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace brell::Environment {
namespace {

std::optional<std::string> absoluteValue(const std::string& name) {
    auto v = nonEmptyValue(name);
    if (v && v->front() == '/') {
        return v;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> value(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (v == nullptr) {
        return std::nullopt;
    }
    return std::string(v);
}

std::optional<std::string> nonEmptyValue(const std::string& name) {
    auto v = value(name);
    if (!v || v->empty()) {
        return std::nullopt;
    }
    return v;
}

std::string homeFolder() {
    if (auto home = absoluteValue("HOME")) {
        return *home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::string applicationSupportFolder() {
#if defined(__APPLE__)
    return join(homeFolder(), "Library/Application Support");
#else
    if (auto data = absoluteValue("XDG_DATA_HOME")) {
        return *data;
    }
    return join(homeFolder(), ".local/share");
#endif
}

std::string configurationFolder() {
#if defined(__APPLE__)
    return join(homeFolder(), "Library/Application Support");
#else
    if (auto config = absoluteValue("XDG_CONFIG_HOME")) {
        return *config;
    }
    return join(homeFolder(), ".config");
#endif
}

std::string temporaryFolder() {
    if (auto tmp = absoluteValue("TMPDIR")) {
        return *tmp;
    }
    return "/tmp";
}

std::string expandTilde(std::string_view path) {
    if (path == "~") {
        return homeFolder();
    }
    if (path.size() >= 2 && path[0] == '~' && path[1] == '/') {
        return join(homeFolder(), path.substr(2));
    }
    return std::string(path);
}

std::string join(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    if (out.empty()) {
        return std::string(name);
    }
    if (out != "/") {
        out += '/';
    }
    out += name;
    return out;
}

} // namespace brell::Environment
