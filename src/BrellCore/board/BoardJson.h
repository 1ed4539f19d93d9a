#pragma once
// The JSON form of the board's values, as board.json holds them: keys named after the
// fields, optional fields written only when present (a missing key or a null reads as
// absent), every other key required with its type, enumerations as their raw values,
// UUIDs in upper-case canonical form, dates as ISO 8601 UTC text with milliseconds.
// Stateless and thread-safe. Decoding throws DecodeError; encoding throws nothing.
#include <string>
#include <string_view>

#include "BrellCore/board/Capture.h"
#include "BrellCore/board/Card.h"
#include "BrellCore/board/Note.h"
#include "BrellCore/board/SourceRef.h"
#include "util/Date.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::BoardJson {

// Board text that cannot be decoded: not JSON, a missing key, a wrong type, an unknown
// lane or kind, a malformed id or date. The message names the value's place
// ("cards[2].capture.kind"), except for dates, whose message is exactly
// "Unreadable date: " followed by the text.
class DecodeError : public Error {
public:
    explicit DecodeError(const std::string& what) : Error(what) {}
};

// "2025-03-01T09:05:07.250Z".
std::string formatDate(Date date);
// The form formatDate writes, or the same without fractional seconds
// ("2025-03-01T09:05:07Z"); a zone offset is accepted too. Throws DecodeError
// "Unreadable date: <text>" for anything else.
Date parseDate(std::string_view text);

Json encode(const SourceRef& source);
Json encode(const Note& note);
Json encode(const Capture& capture);
Json encode(const Card& card);

// `path` names the value in error messages.
SourceRef decodeSourceRef(const Json& json, const std::string& path = "source");
Note decodeNote(const Json& json, const std::string& path = "note");
Capture decodeCapture(const Json& json, const std::string& path = "capture");
Card decodeCard(const Json& json, const std::string& path = "card");

} // namespace brell::BoardJson
