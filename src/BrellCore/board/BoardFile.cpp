#include "BrellCore/board/BoardFile.h"

#include "BrellCore/board/BoardJson.h"
#include "util/Json.h"

namespace brell {

BoardFile BoardFile::parse(std::string_view text) {
    auto json = JsonText::parse(text);
    if (!json) {
        throw BoardJson::DecodeError("the board is not valid JSON");
    }
    if (!json->is_object()) {
        throw BoardJson::DecodeError("wrong type at the top level: expected an object");
    }
    auto version = json->find("version");
    if (version == json->end()) {
        throw BoardJson::DecodeError("missing key version");
    }
    auto versionNumber = JsonText::integer(*version);
    if (!versionNumber) {
        throw BoardJson::DecodeError("wrong type at version: expected an integer");
    }
    auto cards = json->find("cards");
    if (cards == json->end()) {
        throw BoardJson::DecodeError("missing key cards");
    }
    if (!cards->is_array()) {
        throw BoardJson::DecodeError("wrong type at cards: expected an array");
    }
    BoardFile file;
    file.version = *versionNumber;
    file.cards.reserve(cards->size());
    for (std::size_t i = 0; i < cards->size(); ++i) {
        file.cards.push_back(BoardJson::decodeCard((*cards)[i], "cards[" + std::to_string(i) + "]"));
    }
    return file;
}

std::string BoardFile::text() const {
    Json json = Json::object();
    json["version"] = version;
    json["cards"] = Json::array();
    for (const Card& card : cards) {
        json["cards"].push_back(BoardJson::encode(card));
    }
    // Json keeps object keys sorted. A "/" can only occur inside a string in JSON
    // text, so escaping every one escapes exactly the slashes in strings.
    std::string dumped = json.dump(2, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(dumped.size() + dumped.size() / 16);
    for (char c : dumped) {
        if (c == '/') {
            out += "\\/";
        } else {
            out += c;
        }
    }
    out += '\n';
    return out;
}

} // namespace brell
