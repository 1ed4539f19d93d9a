#pragma once
// One read by an AI assistant, as the connector records it in the access log: when,
// which tool, what was asked for in words, and how many items the reply carried.
// Identified by `id`, new for every entry. A plain value with equality; thread-safe;
// throws nothing.
//
// Its JSON form is one object with the keys "id" (UUID, upper case), "at" (ISO 8601 in
// UTC without fractional seconds, 2025-03-01T09:05:07Z), "tool", "detail" and
// "itemCount"; all five are required when reading.
#include <cstdint>
#include <optional>
#include <string>

#include "BrellCore/board/UUID.h"
#include "util/Date.h"
#include "util/Json.h"

namespace brell {

struct AccessLogEntry {
    // A new entry with a fresh random id.
    AccessLogEntry(Date at, std::string tool, std::string detail, int64_t itemCount);
    // An entry as it was recorded.
    AccessLogEntry(UUID id, Date at, std::string tool, std::string detail, int64_t itemCount);

    UUID id;
    Date at;            // the connector's clock; whole seconds once recorded
    std::string tool;   // the tool that was called
    std::string detail; // the query, topic, lane or id asked for
    int64_t itemCount;  // items in the reply

    OrderedJson json() const;
    // Nothing when a key is missing or holds a value of the wrong type or form.
    static std::optional<AccessLogEntry> decode(const Json& json);

    bool operator==(const AccessLogEntry&) const = default;
};

} // namespace brell
