#pragma once
// ISO 8601 internet date-times (RFC 3339), the form of every date in BRELL's files and
// messages. Stateless and thread-safe; no locale or time zone of the machine is used.
#include <optional>
#include <string>
#include <string_view>

#include "util/Date.h"

namespace brell::ISODate {

// "2026-12-10T10:44:36Z", or with milliseconds "2026-12-10T10:44:36.123Z".
std::string format(Date date, bool fractionalSeconds = true);

// Reads "YYYY-MM-DDTHH:MM:SS[.fraction](Z|+HH:MM|-HH:MM)". The fraction is optional
// (any number of digits); "T" and "Z" may be lower case. Nothing when malformed or
// when a field is out of range, and when the time in UTC (after the offset, and rounded
// to the millisecond as format() rounds it) falls outside the years 0000 to 9999: such a
// date could be read but not written back in this form.
std::optional<Date> parse(std::string_view text);

// True when format() writes `date` with a four-digit year, 0000 to 9999 in UTC.
bool isWritable(Date date);

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long year, unsigned month, unsigned day);

} // namespace brell::ISODate
