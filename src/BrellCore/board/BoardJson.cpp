#include "BrellCore/board/BoardJson.h"

#include <cmath>
#include <optional>

#include "util/ISODate.h"

namespace brell::BoardJson {
namespace {

// Reads the members of one JSON object, naming each by its place in the board.
class ObjectReader {
public:
    ObjectReader(const Json& json, const std::string& path) : json_(json), path_(path) {
        if (!json.is_object()) {
            throw DecodeError("wrong type at " + path + ": expected an object");
        }
    }

    std::string place(const std::string& key) const { return path_ + "." + key; }

    const Json& required(const std::string& key) const {
        auto it = json_.find(key);
        if (it == json_.end()) {
            throw DecodeError("missing key " + place(key));
        }
        return *it;
    }

    // Absent when the key is missing or null.
    const Json* optional(const std::string& key) const {
        auto it = json_.find(key);
        if (it == json_.end() || it->is_null()) {
            return nullptr;
        }
        return &*it;
    }

    std::string string(const std::string& key) const { return asString(required(key), key); }

    std::optional<std::string> optionalString(const std::string& key) const {
        const Json* value = optional(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        return asString(*value, key);
    }

    bool boolean(const std::string& key) const { return asBoolean(required(key), key); }

    std::optional<bool> optionalBoolean(const std::string& key) const {
        const Json* value = optional(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        return asBoolean(*value, key);
    }

    int64_t integer(const std::string& key) const {
        auto value = JsonText::integer(required(key));
        if (!value) {
            throw DecodeError("wrong type at " + place(key) + ": expected an integer");
        }
        return *value;
    }

    Date date(const std::string& key) const { return parseDate(string(key)); }

    UUID uuid(const std::string& key) const {
        std::string text = string(key);
        auto id = UUID::parse(text);
        if (!id) {
            throw DecodeError("not a UUID at " + place(key) + ": \"" + text + "\"");
        }
        return *id;
    }

private:
    std::string asString(const Json& value, const std::string& key) const {
        if (!value.is_string()) {
            throw DecodeError("wrong type at " + place(key) + ": expected a string");
        }
        return value.get<std::string>();
    }

    bool asBoolean(const Json& value, const std::string& key) const {
        if (!value.is_boolean()) {
            throw DecodeError("wrong type at " + place(key) + ": expected a boolean");
        }
        return value.get<bool>();
    }

    const Json& json_;
    const std::string& path_;
};

void putIfPresent(Json& object, const char* key, const std::optional<std::string>& value) {
    if (value) {
        object[key] = *value;
    }
}

} // namespace

std::string formatDate(Date date) {
    return ISODate::format(date, true);
}

Date parseDate(std::string_view text) {
    auto date = ISODate::parse(text);
    if (!date) {
        throw DecodeError("Unreadable date: " + std::string(text));
    }
    // The board keeps milliseconds. Reading whole milliseconds exactly makes a date
    // read back equal to the one written.
    return static_cast<double>(std::llround(*date * 1000.0)) / 1000.0;
}

Json encode(const SourceRef& source) {
    Json json = Json::object();
    json["title"] = source.title;
    putIfPresent(json, "url", source.url);
    json["appName"] = source.appName;
    putIfPresent(json, "bundleID", source.bundleID);
    json["redacted"] = source.redacted;
    return json;
}

Json encode(const Note& note) {
    Json json = Json::object();
    json["mode"] = rawValue(note.mode);
    json["explanation"] = note.explanation;
    putIfPresent(json, "caveat", note.caveat);
    putIfPresent(json, "provider", note.provider);
    json["createdAt"] = formatDate(note.createdAt);
    return json;
}

Json encode(const Capture& capture) {
    Json json = Json::object();
    json["id"] = capture.id.text();
    json["version"] = capture.version;
    json["kind"] = rawValue(capture.kind);
    putIfPresent(json, "text", capture.text);
    putIfPresent(json, "targetURL", capture.targetURL);
    putIfPresent(json, "targetTitle", capture.targetTitle);
    json["source"] = encode(capture.source);
    json["capturedAt"] = formatDate(capture.capturedAt);
    return json;
}

Json encode(const Card& card) {
    Json json = Json::object();
    json["id"] = card.id.text();
    json["capture"] = encode(card.capture);
    json["lane"] = card.lane.rawValue();
    if (card.note) {
        json["note"] = encode(*card.note);
    }
    json["updatedAt"] = formatDate(card.updatedAt);
    if (card.hiddenFromAssistants) {
        json["hiddenFromAssistants"] = *card.hiddenFromAssistants;
    }
    return json;
}

SourceRef decodeSourceRef(const Json& json, const std::string& path) {
    ObjectReader reader(json, path);
    return SourceRef{reader.string("title"), reader.optionalString("url"), reader.string("appName"),
                     reader.optionalString("bundleID"), reader.boolean("redacted")};
}

Note decodeNote(const Json& json, const std::string& path) {
    ObjectReader reader(json, path);
    std::string modeText = reader.string("mode");
    auto mode = noteModeFromRaw(modeText);
    if (!mode) {
        throw DecodeError("unknown note mode at " + reader.place("mode") + ": \"" + modeText + "\"");
    }
    return Note{*mode, reader.string("explanation"), reader.optionalString("caveat"), reader.optionalString("provider"),
                reader.date("createdAt")};
}

Capture decodeCapture(const Json& json, const std::string& path) {
    ObjectReader reader(json, path);
    UUID id = reader.uuid("id");
    int64_t version = reader.integer("version");
    std::string kindText = reader.string("kind");
    auto kind = captureKindFromRaw(kindText);
    if (!kind) {
        throw DecodeError("unknown capture kind at " + reader.place("kind") + ": \"" + kindText + "\"");
    }
    Capture capture(id, *kind, reader.optionalString("text"), reader.optionalString("targetURL"),
                    reader.optionalString("targetTitle"),
                    decodeSourceRef(reader.required("source"), reader.place("source")), reader.date("capturedAt"));
    capture.version = version;
    return capture;
}

Card decodeCard(const Json& json, const std::string& path) {
    ObjectReader reader(json, path);
    UUID id = reader.uuid("id");
    Capture capture = decodeCapture(reader.required("capture"), reader.place("capture"));
    std::string laneText = reader.string("lane");
    auto lane = Lane::fromRaw(laneText);
    if (!lane) {
        throw DecodeError("unknown lane at " + reader.place("lane") + ": \"" + laneText + "\"");
    }
    std::optional<Note> note;
    if (const Json* noteJson = reader.optional("note")) {
        note = decodeNote(*noteJson, reader.place("note"));
    }
    return Card(std::move(capture), *lane, std::move(note), id, reader.date("updatedAt"),
                reader.optionalBoolean("hiddenFromAssistants"));
}

} // namespace brell::BoardJson
