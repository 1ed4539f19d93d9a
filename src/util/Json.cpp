#include "util/Json.h"

#include <algorithm>
#include <cmath>

namespace brell::JsonText {

namespace {

// The deepest nesting of brackets outside strings, stopping early past the limit.
int nesting(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size() && deepest <= maxDepth; ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

std::optional<Json> parse(std::string_view text) {
    if (nesting(text) > maxDepth) {
        return std::nullopt;
    }
    Json value = Json::parse(text.begin(), text.end(), nullptr, false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> compact(const Json& value) {
    try {
        return value.dump();
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> compact(const OrderedJson& value) {
    try {
        return value.dump();
    } catch (const OrderedJson::exception&) {
        return std::nullopt;
    }
}

std::optional<int64_t> integer(const Json& value) {
    if (value.is_number_integer()) {
        return value.get<int64_t>();
    }
    if (value.is_number_unsigned()) {
        auto u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return static_cast<int64_t>(u);
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18) {
            return static_cast<int64_t>(d);
        }
    }
    return std::nullopt;
}

std::optional<std::string> string(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return std::nullopt;
}

std::optional<bool> boolean(const Json& value) {
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    return std::nullopt;
}

const Json& member(const Json& object, std::string_view key) {
    static const Json null;
    if (!object.is_object()) {
        return null;
    }
    auto it = object.find(key);
    return it == object.end() ? null : *it;
}

} // namespace brell::JsonText
