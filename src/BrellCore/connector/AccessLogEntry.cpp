#include "BrellCore/connector/AccessLogEntry.h"

#include "util/ISODate.h"

namespace brell {

AccessLogEntry::AccessLogEntry(Date at, std::string tool, std::string detail, int64_t itemCount)
    : AccessLogEntry(UUID::random(), at, std::move(tool), std::move(detail), itemCount) {}

AccessLogEntry::AccessLogEntry(UUID id, Date at, std::string tool, std::string detail, int64_t itemCount)
    : id(id), at(at), tool(std::move(tool)), detail(std::move(detail)), itemCount(itemCount) {}

OrderedJson AccessLogEntry::json() const {
    OrderedJson json = OrderedJson::object();
    json["id"] = id.text();
    json["at"] = ISODate::format(at, false);
    json["tool"] = tool;
    json["detail"] = detail;
    json["itemCount"] = itemCount;
    return json;
}

std::optional<AccessLogEntry> AccessLogEntry::decode(const Json& json) {
    auto idText = JsonText::string(JsonText::member(json, "id"));
    auto atText = JsonText::string(JsonText::member(json, "at"));
    auto tool = JsonText::string(JsonText::member(json, "tool"));
    auto detail = JsonText::string(JsonText::member(json, "detail"));
    auto itemCount = JsonText::integer(JsonText::member(json, "itemCount"));
    if (!idText || !atText || !tool || !detail || !itemCount) {
        return std::nullopt;
    }
    auto id = UUID::parse(*idText);
    auto at = ISODate::parse(*atText);
    if (!id || !at) {
        return std::nullopt;
    }
    return AccessLogEntry(*id, *at, std::move(*tool), std::move(*detail), *itemCount);
}

} // namespace brell
