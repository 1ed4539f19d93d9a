#include "util/DateFormat.h"

#include <cmath>
#include <map>
#include <memory>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace brell::DateFormat {
namespace {

// Callers use a few fixed patterns; the bound only guards against a caller that keeps
// inventing new ones.
constexpr std::size_t maxCachedFormatters = 32;

icu::UnicodeString toUnicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::unique_ptr<icu::SimpleDateFormat> makeFormatter(std::string_view pattern, std::string_view locale,
                                                     std::string_view timeZone) {
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::SimpleDateFormat>(
        toUnicode(pattern), icu::Locale::createFromName(std::string(locale).c_str()), status);
    if (U_FAILURE(status)) {
        throw FormatError("failed to compile the date pattern \"" + std::string(pattern) +
                          "\": " + u_errorName(status));
    }
    if (!timeZone.empty()) {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(timeZone)));
        if (!zone || *zone == icu::TimeZone::getUnknown()) {
            throw FormatError("unknown time zone \"" + std::string(timeZone) + "\"");
        }
        formatter->adoptTimeZone(zone.release());
    }
    return formatter;
}

icu::SimpleDateFormat& formatter(std::string_view pattern, std::string_view locale, std::string_view timeZone) {
    thread_local std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>> cache;
    std::string key;
    key.append(locale).push_back('\0');
    key.append(timeZone).push_back('\0');
    key.append(pattern);
    auto found = cache.find(key);
    if (found != cache.end()) {
        return *found->second;
    }
    auto made = makeFormatter(pattern, locale, timeZone);
    if (cache.size() >= maxCachedFormatters) {
        cache.clear();
    }
    return *cache.emplace(std::move(key), std::move(made)).first->second;
}

} // namespace

std::string format(Date date, std::string_view pattern, std::string_view locale, std::string_view timeZone) {
    if (!std::isfinite(date)) {
        return "";
    }
    icu::UnicodeString text;
    formatter(pattern, locale, timeZone).format(static_cast<UDate>(date * 1000.0), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace brell::DateFormat
