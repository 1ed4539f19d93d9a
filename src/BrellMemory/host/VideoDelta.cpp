#include "BrellMemory/host/VideoDelta.h"

#include "BrellMemory/host/HostProtocol.h"

namespace brell {
namespace {

constexpr int64_t dayMs = 86'400'000;
constexpr const char* youtubeOrigin = "https://www.youtube.com";

} // namespace

std::variant<std::vector<Range>, IngestRefusal> VideoDelta::parseRanges(const Json& value) {
    if (!value.is_array() || value.size() > 1000) {
        return IngestRefusal::invalid("ranges");
    }
    // The shape of the whole list first: a pair with a wrong bound never hides a list
    // that is not one of integers.
    for (const auto& element : value) {
        if (!element.is_array()) {
            return IngestRefusal::invalid("ranges");
        }
        for (const auto& n : element) {
            if (!JsonText::integer(n)) {
                return IngestRefusal::invalid("ranges");
            }
        }
    }
    std::vector<Range> ranges;
    for (const auto& element : value) {
        if (element.size() != 2) {
            return IngestRefusal::invalid("range_bounds");
        }
        int64_t start = *JsonText::integer(element[0]);
        int64_t end = *JsonText::integer(element[1]);
        if (start < 0 || start >= end || end > dayMs) {
            return IngestRefusal::invalid("range_bounds");
        }
        ranges.push_back({start, end});
    }
    return ranges;
}

std::variant<VideoDelta, IngestRefusal> VideoDelta::parse(const Json& source, const Json& payload) {
    auto id = HostProtocol::string(JsonText::member(source, "id"), 40);
    auto url = HostProtocol::string(JsonText::member(source, "url"), 500);
    auto videoID = url ? HostProtocol::youtubeID(*url) : std::nullopt;
    if (!id || id->rfind("youtube:", 0) != 0 || !videoID || "youtube:" + *videoID != *id) {
        return IngestRefusal::invalid("video_source");
    }
    VideoDelta delta;
    delta.key = *id;
    delta.videoID = *videoID;
    delta.watchURL = std::string(youtubeOrigin) + "/watch?v=" + *videoID;

    auto ranges = parseRanges(JsonText::member(payload, "rangesMs"));
    if (auto* refusal = std::get_if<IngestRefusal>(&ranges)) {
        return *refusal;
    }
    delta.ranges = std::get<std::vector<Range>>(std::move(ranges));
    if (payload.is_object() && payload.contains("playedRangesMs")) {
        auto played = parseRanges(payload["playedRangesMs"]);
        if (auto* refusal = std::get_if<IngestRefusal>(&played)) {
            return *refusal;
        }
        delta.played = std::get<std::vector<Range>>(std::move(played));
    }
    delta.playedWallMs = JsonText::integer(JsonText::member(payload, "playedWallMs")).value_or(0);
    if (delta.playedWallMs > dayMs) {
        return IngestRefusal::invalid("played_wall");
    }
    delta.title = HostProtocol::cleanTitle(JsonText::member(source, "title")).value_or("YouTube video");
    return delta;
}

} // namespace brell
