#include "BrellCore/connector/AssistantAccess.h"

#include <algorithm>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell {
namespace {

// An optional switch: its default when missing or null, nothing when of another type.
std::optional<bool> optionalSwitch(const Json& object, std::string_view key, bool fallback) {
    const Json& value = JsonText::member(object, key);
    if (value.is_null()) {
        return fallback;
    }
    return JsonText::boolean(value);
}

} // namespace

AssistantAccess::AssistantAccess(bool enabled, std::vector<Lane> lanes, bool shareMemory, bool shareVisuals,
                                 bool shareBrells, bool shareScreen)
    : enabled(enabled), lanes(std::move(lanes)), shareMemory(shareMemory), shareVisuals(shareVisuals),
      shareBrells(shareBrells), shareScreen(shareScreen) {}

AssistantAccess AssistantAccess::defaultValue() {
    const auto& all = Lane::allLanes();
    return AssistantAccess(false, std::vector<Lane>(all.begin(), all.end()), false, false, true, false);
}

std::string AssistantAccess::fileURL(const std::string& boardURL) {
    return Environment::join(FileSystem::parentFolder(boardURL), "assistant-access.json");
}

AssistantAccess AssistantAccess::load(const std::string& fileURL) {
    return tryLoad(fileURL).value_or(defaultValue());
}

std::optional<AssistantAccess> AssistantAccess::tryLoad(const std::string& fileURL) {
    std::optional<std::string> text;
    try {
        text = FileSystem::read(fileURL);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!text) {
        return std::nullopt;
    }
    return decode(*text);
}

std::optional<AssistantAccess> AssistantAccess::decode(std::string_view text) {
    auto json = JsonText::parse(text);
    if (!json || !json->is_object()) {
        return std::nullopt;
    }
    auto enabled = JsonText::boolean(JsonText::member(*json, "enabled"));
    const Json& laneValues = JsonText::member(*json, "lanes");
    if (!enabled || !laneValues.is_array()) {
        return std::nullopt;
    }
    std::vector<Lane> lanes;
    for (const Json& value : laneValues) {
        auto raw = JsonText::string(value);
        auto lane = raw ? Lane::fromRaw(*raw) : std::nullopt;
        if (!lane) {
            return std::nullopt;
        }
        lanes.push_back(*lane);
    }
    const AssistantAccess fallback = defaultValue();
    auto shareMemory = optionalSwitch(*json, "shareMemory", fallback.shareMemory);
    auto shareVisuals = optionalSwitch(*json, "shareVisuals", fallback.shareVisuals);
    auto shareBrells = optionalSwitch(*json, "shareBrells", fallback.shareBrells);
    auto shareScreen = optionalSwitch(*json, "shareScreen", fallback.shareScreen);
    if (!shareMemory || !shareVisuals || !shareBrells || !shareScreen) {
        return std::nullopt;
    }
    return AssistantAccess(*enabled, std::move(lanes), *shareMemory, *shareVisuals, *shareBrells, *shareScreen);
}

std::string AssistantAccess::encoded() const {
    OrderedJson laneValues = OrderedJson::array();
    for (Lane lane : lanes) {
        laneValues.push_back(lane.rawValue());
    }
    OrderedJson json = OrderedJson::object();
    json["enabled"] = enabled;
    json["lanes"] = std::move(laneValues);
    json["shareMemory"] = shareMemory;
    json["shareVisuals"] = shareVisuals;
    json["shareBrells"] = shareBrells;
    json["shareScreen"] = shareScreen;
    // Only booleans and the three lane names: always well-formed.
    return json.dump();
}

void AssistantAccess::save(const std::string& fileURL) const {
    FileSystem::makeFolders(FileSystem::parentFolder(fileURL));
    FileSystem::writeAtomically(fileURL, encoded());
}

bool AssistantAccess::shares(Lane lane) const {
    return std::find(lanes.begin(), lanes.end(), lane) != lanes.end();
}

bool AssistantAccess::allows(const Card& card) const {
    return enabled && shares(card.lane) && !card.isHiddenFromAssistants();
}

} // namespace brell
