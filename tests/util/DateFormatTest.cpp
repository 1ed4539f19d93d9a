#include "util/DateFormat.h"

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace brell {
namespace {

constexpr Date march1 = 1740819907.0; // 2025-03-01T09:05:07Z
constexpr Date july1 = 1751371200.0;  // 2025-07-01T12:00:00Z

TEST(DateFormatTest, PatternsInBritishEnglishInTheGivenZone) {
    struct Case {
        const char* name;
        Date date;
        const char* pattern;
        const char* zone;
        const char* expected;
    } cases[] = {
        {"the stamp pattern in UTC", march1, "d MMM yyyy HH:mm", "UTC", "1 Mar 2025 09:05"},
        {"London in winter is UTC", march1, "d MMM yyyy HH:mm", "Europe/London", "1 Mar 2025 09:05"},
        {"London in summer is an hour ahead", july1, "d MMM yyyy HH:mm", "Europe/London", "1 Jul 2025 13:00"},
        {"Paris in winter", march1, "d MMM yyyy HH:mm", "Europe/Paris", "1 Mar 2025 10:05"},
        {"behind UTC the day changes", 1740787200.0, "d MMM yyyy HH:mm", "America/New_York", "28 Feb 2025 19:00"},
        {"hours and minutes only", march1, "HH:mm", "Asia/Tokyo", "18:05"},
        {"24-hour clock, no day period", 1740859200.0, "HH:mm", "UTC", "20:00"},
        {"month and weekday names", march1, "EEEE d MMMM yyyy", "UTC", "Saturday 1 March 2025"},
        {"seconds are cut, not rounded", march1 + 0.999, "HH:mm:ss", "UTC", "09:05:07"},
        {"quoted literal text", march1, "'at' HH:mm", "UTC", "at 09:05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DateFormat::format(c.date, c.pattern, DateFormat::britishLocale, c.zone), c.expected);
    }
}

TEST(DateFormatTest, DatesThatAreNotNumbersGiveNothing) {
    EXPECT_EQ(DateFormat::format(std::numeric_limits<double>::quiet_NaN(), "HH:mm"), "");
    EXPECT_EQ(DateFormat::format(std::numeric_limits<double>::infinity(), "HH:mm"), "");
}

TEST(DateFormatTest, AnUnknownZoneIsRefused) {
    try {
        DateFormat::format(march1, "HH:mm", DateFormat::britishLocale, "Mars/Olympus_Mons");
        FAIL() << "no error";
    } catch (const DateFormat::FormatError& e) {
        EXPECT_STREQ(e.what(), "unknown time zone \"Mars/Olympus_Mons\"");
    }
}

TEST(DateFormatTest, FormattersCachedPerThreadAgreeAcrossThreads) {
    // Several patterns and zones in turn on each thread, so each thread's cache holds
    // several formatters and every lookup must pick the right one.
    const std::pair<const char*, const char*> patternsAndZones[] = {
        {"d MMM yyyy HH:mm", "UTC"}, {"HH:mm", "Europe/Paris"}, {"d MMM yyyy HH:mm", "Asia/Tokyo"}};
    const char* expected[] = {"1 Mar 2025 09:05", "10:05", "1 Mar 2025 18:05"};
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                int k = (i + t) % 3;
                if (DateFormat::format(march1, patternsAndZones[k].first, DateFormat::britishLocale,
                                       patternsAndZones[k].second) != expected[k]) {
                    ++failures[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
} // namespace brell
