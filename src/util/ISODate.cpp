#include "util/ISODate.h"

#include <cmath>
#include <cstdio>

namespace brell::ISODate {
namespace {

// Civil date of a day count since 1970-01-01 (Howard Hinnant's algorithm).
void civilFromDays(long long z, long long& year, unsigned& month, unsigned& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool isLeap(long long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

long long daysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

std::string format(Date date, bool fractionalSeconds) {
    double whole = std::floor(date);
    auto millis = static_cast<int>(std::llround((date - whole) * 1000.0));
    if (millis == 1000) {
        whole += 1;
        millis = 0;
    }
    auto seconds = static_cast<long long>(whole);
    long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    long long rest = seconds - days * 86400;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    char buffer[64];
    if (fractionalSeconds) {
        std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03dZ", year, month, day,
                      rest / 3600, rest / 60 % 60, rest % 60, millis);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", year, month, day, rest / 3600,
                      rest / 60 % 60, rest % 60);
    }
    return buffer;
}

std::optional<Date> parse(std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' || !digits(text, 5, 2, month) ||
        text[7] != '-' || !digits(text, 8, 2, day) || (text[10] != 'T' && text[10] != 't') ||
        !digits(text, 11, 2, hour) || text[13] != ':' || !digits(text, 14, 2, minute) || text[16] != ':' ||
        !digits(text, 17, 2, second)) {
        return std::nullopt;
    }
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0) ||
        hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    std::size_t at = 19;
    double fraction = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        double scale = 0.1;
        std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            fraction += (text[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
        if (at == start) {
            return std::nullopt;
        }
    }
    int offset = 0;
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int oh = 0;
        int om = 0;
        if (!digits(text, at + 1, 2, oh) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !digits(text, at + 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offset = (oh * 3600 + om * 60) * (text[at] == '-' ? -1 : 1);
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    double seconds = static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second - offset);
    Date date = seconds + fraction;
    if (!isWritable(date)) {
        return std::nullopt;
    }
    return date;
}

bool isWritable(Date date) {
    static const double first = static_cast<double>(daysFromCivil(0, 1, 1) * 86400);
    static const double end = static_cast<double>(daysFromCivil(10000, 1, 1) * 86400);
    if (!std::isfinite(date)) {
        return false;
    }
    // The second format() writes, after it rounds to the millisecond.
    double whole = std::floor(date);
    if (std::llround((date - whole) * 1000.0) == 1000) {
        whole += 1;
    }
    return whole >= first && whole < end;
}

} // namespace brell::ISODate
