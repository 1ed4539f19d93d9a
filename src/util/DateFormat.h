#pragma once
// Dates shown to people: a Date laid out with an ICU date pattern ("d MMM yyyy HH:mm")
// in a locale ("en_GB" everywhere in BRELL) and a time zone, by default the machine's
// own. Files and messages use ISODate instead; this is only for text people read.
//
// Safe from any thread: compiled formatters are cached per thread, keyed by pattern,
// locale and zone (a handful at most; the cache is emptied if it ever grows past a few
// dozen). The local zone is the one ICU found when the thread first formatted with it.
//
// Throws FormatError for a pattern ICU refuses or a time-zone id it does not know;
// nothing else (only std::bad_alloc).
#include <string>
#include <string_view>

#include "util/Date.h"
#include "util/Error.h"

namespace brell::DateFormat {

class FormatError : public Error {
public:
    explicit FormatError(const std::string& what) : Error(what) {}
};

// The locale of every date BRELL shows.
inline constexpr std::string_view britishLocale = "en_GB";

// Names the machine's local time zone where a zone id is asked for.
inline constexpr std::string_view localZone = "";

// `date` in `pattern` (ICU's date-field symbols), in `locale`, in the zone with the
// IANA id `timeZone` ("Europe/Paris", "UTC") or the local zone. A date that is not a
// finite number gives the empty string.
std::string format(Date date, std::string_view pattern, std::string_view locale = britishLocale,
                   std::string_view timeZone = localZone);

} // namespace brell::DateFormat
