#include "util/ISODate.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace brell {
namespace {

// Each text is read and written back in UTC with milliseconds, or refused.
TEST(ISODateTest, ReadsInternetDatesAndWritesThemInUTC) {
    struct Case {
        const char* name;
        const char* text;
        const char* written; // nullptr: refused
    } cases[] = {
        {"plain UTC", "2025-03-01T09:05:07Z", "2025-03-01T09:05:07.000Z"},
        {"lower-case t and z", "2025-03-01t09:05:07z", "2025-03-01T09:05:07.000Z"},
        {"a negative offset crosses into the next year", "2025-12-31T23:30:00-01:00", "2026-01-01T00:30:00.000Z"},
        {"a positive offset crosses into the year before", "2026-01-01T00:30:00+01:00", "2025-12-31T23:30:00.000Z"},
        {"minutes of offset", "2025-03-01T09:05:07+05:45", "2025-03-01T03:20:07.000Z"},
        {"a leap day", "2024-02-29T12:00:00Z", "2024-02-29T12:00:00.000Z"},
        {"a leap day of a year divisible by 400", "2000-02-29T12:00:00Z", "2000-02-29T12:00:00.000Z"},
        {"no leap day in 1900", "1900-02-29T12:00:00Z", nullptr},
        {"no leap day in 2025", "2025-02-29T12:00:00Z", nullptr},
        {"a leap second is the next second", "2016-12-31T23:59:60Z", "2017-01-01T00:00:00.000Z"},
        {"fraction cut to milliseconds", "2025-03-01T09:05:07.1234567Z", "2025-03-01T09:05:07.123Z"},
        {"fraction rounds down", "2025-03-01T09:05:07.0004Z", "2025-03-01T09:05:07.000Z"},
        {"fraction rounds up into the next second", "2025-03-01T09:05:07.9996Z", "2025-03-01T09:05:08.000Z"},
        {"fraction rounds into the next year", "2025-12-31T23:59:59.9999Z", "2026-01-01T00:00:00.000Z"},
        {"the first writable instant", "0000-01-01T00:00:00Z", "0000-01-01T00:00:00.000Z"},
        {"the last writable instant", "9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999Z"},
        {"a western offset stays inside year 0", "0000-01-01T00:00:00-00:01", "0000-01-01T00:01:00.000Z"},
        {"an eastern offset on the last day", "9999-12-31T23:59:59+01:00", "9999-12-31T22:59:59.000Z"},
        {"rounding past the year 9999", "9999-12-31T23:59:59.9999Z", nullptr},
        {"an offset back before the year 0", "0000-01-01T00:30:00+01:00", nullptr},
        {"a leap second at the end of 9999", "9999-12-31T23:59:60Z", nullptr},
        {"an offset forward past 9999", "9999-12-31T23:30:00-00:31", nullptr},
        {"no zone", "2025-03-01T09:05:07", nullptr},
        {"a dot without digits", "2025-03-01T09:05:07.Z", nullptr},
        {"hour 24", "2025-03-01T24:00:00Z", nullptr},
        {"offset of 24 hours", "2025-03-01T09:05:07+24:00", nullptr},
        {"offset without a colon", "2025-03-01T09:05:07+0100", nullptr},
        {"month 13", "2025-13-01T09:05:07Z", nullptr},
        {"day 0", "2025-03-00T09:05:07Z", nullptr},
        {"minute 60", "2025-03-01T09:60:07Z", nullptr},
        {"second 61", "2025-03-01T09:05:61Z", nullptr},
        {"something after the zone", "2025-03-01T09:05:07+01:00x", nullptr},
        {"a space for the T", "2025-03-01 09:05:07Z", nullptr},
        {"a five-digit year", "10000-01-01T00:00:00Z", nullptr},
        {"a signed year", "-001-01-01T00:00:00Z", nullptr},
        {"empty", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto date = ISODate::parse(c.text);
        if (c.written == nullptr) {
            EXPECT_FALSE(date) << ISODate::format(*date);
            continue;
        }
        ASSERT_TRUE(date);
        EXPECT_EQ(ISODate::format(*date), c.written);
        // What is written reads back to the same millisecond.
        auto again = ISODate::parse(c.written);
        ASSERT_TRUE(again);
        EXPECT_EQ(std::llround(*again * 1000), std::llround(*date * 1000));
    }
}

TEST(ISODateTest, WritesWholeSecondsOrMilliseconds) {
    struct Case {
        Date date;
        const char* withFraction;
        const char* withoutFraction;
    } cases[] = {
        {1740819907.25, "2025-03-01T09:05:07.250Z", "2025-03-01T09:05:07Z"},
        {0, "1970-01-01T00:00:00.000Z", "1970-01-01T00:00:00Z"},
        {-0.5, "1969-12-31T23:59:59.500Z", "1969-12-31T23:59:59Z"},
        {1740819907.9996, "2025-03-01T09:05:08.000Z", "2025-03-01T09:05:08Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.withFraction);
        EXPECT_EQ(ISODate::format(c.date), c.withFraction);
        EXPECT_EQ(ISODate::format(c.date, false), c.withoutFraction);
    }
}

TEST(ISODateTest, OnlyDatesOfFourDigitYearsAreWritable) {
    const Date first = -62167219200.0; // 0000-01-01T00:00:00Z
    const Date end = 253402300800.0;   // 10000-01-01T00:00:00Z
    EXPECT_TRUE(ISODate::isWritable(first));
    EXPECT_TRUE(ISODate::isWritable(end - 0.001));
    EXPECT_FALSE(ISODate::isWritable(end - 0.0004)); // written as the next millisecond
    EXPECT_FALSE(ISODate::isWritable(end));
    EXPECT_FALSE(ISODate::isWritable(first - 0.5));
    EXPECT_FALSE(ISODate::isWritable(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(ISODate::isWritable(std::numeric_limits<double>::quiet_NaN()));
}

} // namespace
} // namespace brell
