#pragma once
// JSON through nlohmann-json, plus the few strict readers and writers the rest of the
// system shares. Stateless and thread-safe.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace brell {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

namespace JsonText {

// Arrays and objects nested deeper than this are refused: serialising and freeing such
// values recurses once per level, and no message or file of ours comes close.
inline constexpr int maxDepth = 512;

// Parses a JSON document; nothing when it is not valid JSON (also for ill-formed UTF-8)
// or nests deeper than maxDepth.
std::optional<Json> parse(std::string_view text);

// Compact serialisation; nothing when a string holds ill-formed UTF-8.
std::optional<std::string> compact(const Json& value);
std::optional<std::string> compact(const OrderedJson& value);

// An integer: a JSON integer, or a float with an integral value inside the 64-bit
// range. Booleans, strings and fractional numbers are not integers.
std::optional<int64_t> integer(const Json& value);

// The value when it is a JSON string.
std::optional<std::string> string(const Json& value);

// The value when it is a JSON boolean.
std::optional<bool> boolean(const Json& value);

// A member of an object, or a null value when `object` is not an object or lacks `key`.
const Json& member(const Json& object, std::string_view key);

} // namespace JsonText
} // namespace brell
