#include "platform/StandardPath.h"

#include <vector>

#include "platform/Environment.h"

namespace brell::StandardPath {

std::string standardize(std::string_view path, std::string_view home) {
    std::string expanded(path);
    if (path == "~" || path.starts_with("~/")) {
        expanded = std::string(home) + std::string(path.substr(1));
    }
    if (expanded.empty()) {
        return expanded;
    }
    bool absolute = expanded.front() == '/';
    std::vector<std::string_view> parts;
    std::string_view rest(expanded);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += '/';
        }
        out += parts[i];
    }
    return out.empty() ? "." : out;
}

std::string standardize(std::string_view path) {
    return standardize(path, Environment::homeFolder());
}

bool same(std::string_view a, std::string_view b) {
    std::string home = Environment::homeFolder();
    return standardize(a, home) == standardize(b, home);
}

} // namespace brell::StandardPath
