// Tests of dates, clocks and the display time zone.
#include "kem.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>

namespace {

std::string expected_text(time_t when) {
    static const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    struct tm utc;
    gmtime_r(&when, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02dZ", utc.tm_year % 100,
                  months[utc.tm_mon], utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace

TEST(Date, CurrentStrIsTheUniversalTimeInTwentyCharacters) {
    char buf[32];
    std::memset(buf, 'X', sizeof buf);
    time_t before = time(nullptr);
    EXPECT_EQ(DATE_get_current_str(buf), 0);
    time_t after = time(nullptr);

    EXPECT_EQ(buf[20], '\0');
    EXPECT_EQ(buf[21], 'X'); // nothing beyond the 21 bytes callers provide
    EXPECT_TRUE(std::regex_match(buf, std::regex("[0-9]{2} [A-Z]{3} [0-9]{2}  "
                                                 "[0-9]{2}:[0-9]{2}:[0-9]{2}Z")))
        << buf;
    bool matches = false;
    for (time_t t = before; t <= after; ++t)
        matches |= expected_text(t) == buf;
    EXPECT_TRUE(matches) << buf << " vs " << expected_text(before);
    EXPECT_EQ(DATE_get_current_str(nullptr), 0);
}

struct SecCase {
    Date in;
    time_t secs;
    Date normalised;
};

// Fields in the record's order: year, month, day, jday, wday, hour, min, sec.
TEST(Date, NumSecNormalisesTheRecordAndCountsFrom1970) {
    constexpr int U = KEM_MISSING;
    const SecCase cases[] = {
        {{1970, 1, 1, 0, 0, 0, 0, 0}, 0, {1970, 1, 1, 0, 0, 0, 0, 0}},
        {{2000, 2, 29, 0, 0, 12, 0, 0}, 951825600, {2000, 2, 29, 0, 0, 12, 0, 0}},
        {{2000, 3, 1, 0, 0, 0, 0, 0}, 951868800, {2000, 3, 1, 0, 0, 0, 0, 0}},
        {{99, 1, 1, 0, 0, 0, 0, 0}, 915148800, {1999, 1, 1, 0, 0, 0, 0, 0}},
        {{5, 1, 1, 0, 0, 0, 0, 0}, 1104537600, {2005, 1, 1, 0, 0, 0, 0, 0}},
        {{150, 1, 1, 0, 0, 0, 0, 0}, 2524608000, {2050, 1, 1, 0, 0, 0, 0, 0}},
        {{U, U, U, U, U, U, U, U}, 315532800, {1980, 1, 1, U, U, 0, 0, 0}},
        {{2001, 3, 0, 0, 0, 0, 0, 0}, 983318400, {2001, 3, 0, 0, 0, 0, 0, 0}}, // 2001-02-28
        {{2001, 13, 32, 0, 0, 24, 60, 60}, 978307200, {2001, 1, 1, 0, 0, 0, 0, 0}},
    };
    for (const SecCase &c : cases) {
        Date d = c.in;
        EXPECT_EQ(DATE_num_sec(&d), c.secs) << c.in.year << "-" << c.in.month << "-" << c.in.day;
        EXPECT_EQ(std::memcmp(&d, &c.normalised, sizeof d), 0) << d.year << "-" << d.month;
    }
    struct tm tm = {};
    tm.tm_year = 100, tm.tm_mon = 1, tm.tm_mday = 29, tm.tm_hour = 12;
    EXPECT_EQ(DATE_num_sec_tm(&tm), 951825600);
}

TEST(Date, DayNumbersGoBothWaysAcrossLeapYearsAndBefore1970) {
    const struct {
        int days, year, month, day;
    } cases[] = {{1, 1970, 1, 1},    {60, 1970, 3, 1},     {366, 1971, 1, 1},
                 {790, 1972, 2, 29}, {11018, 2000, 3, 1},  {0, 1969, 12, 31},
                 {-364, 1969, 1, 1}, {-365, 1968, 12, 31}, {-671, 1968, 2, 29}};
    for (const auto &c : cases) {
        int y = 0, m = 0, d = 0;
        EXPECT_EQ(DATE_days_date(c.days, &y, &m, &d), 0);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.year * 10000 + c.month * 100 + c.day) << c.days;
        EXPECT_EQ(DATE_date_days(c.year, c.month, c.day), c.days);
    }
}

/* Every day from 1800 to 2200 reads back as itself, and its number is the
   count of days from 1970-01-01 by the Gregorian rule, counted here. */
TEST(Date, DayNumbersOfEveryDayFrom1800To2200) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int length[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int count = 1; /* 1970-01-01 */
    for (int y = 1969; y >= 1800; --y)
        count -= leap(y) ? 366 : 365;
    for (int y = 1800; y <= 2200; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= length[m - 1] + (m == 2 && leap(y)); ++d, ++count) {
                ASSERT_EQ(DATE_date_days(y, m, d), count) << y << "-" << m << "-" << d;
                int yy = 0, mm = 0, dd = 0;
                DATE_days_date(count, &yy, &mm, &dd);
                ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d) << count;
            }
        }
    }
    EXPECT_EQ(DATE_date_days(1899, 6, 1), -25780);
    EXPECT_EQ(DATE_date_days(2100, 3, 1), 47542);
    /* A month outside 1 to 12 counts as January, before a leap day. */
    EXPECT_EQ(DATE_date_days(2000, 0, 1), DATE_date_days(2000, 1, 1));
    EXPECT_EQ(DATE_date_days(2000, 13, 1), DATE_date_days(2000, 1, 1));
}

TEST(Date, DaysOfTheYearAreClampedToTheYear) {
    const struct {
        int year, julian, month, day;
    } cases[] = {{2024, 60, 2, 29},   {2023, 60, 3, 1}, {2023, 400, 12, 31},
                 {2024, 400, 12, 31}, {2023, -5, 1, 1}, {2023, 31, 1, 31}};
    for (const auto &c : cases) {
        int m = 0, d = 0;
        DATE_julian_monday(c.year, c.julian, &m, &d);
        EXPECT_EQ(m * 100 + d, c.month * 100 + c.day) << c.year << " day " << c.julian;
    }
    int julian = 0;
    DATE_monday_julian(2024, 3, 1, &julian);
    EXPECT_EQ(julian, 61);
    DATE_monday_julian(2023, 14, 31, &julian);
    EXPECT_EQ(julian, 365);
}

TEST(Date, CalendarFacts) {
    for (int year : {2000, 2024, 1972})
        EXPECT_EQ(DATE_is_leap(year), 1) << year;
    for (int year : {1900, 2023, 2100})
        EXPECT_EQ(DATE_is_leap(year), 0) << year;
    EXPECT_STREQ(DATE_month(1), "JAN");
    EXPECT_STREQ(DATE_month_lower(12), "dec");
    EXPECT_STREQ(DATE_month_long(9), "September");
    EXPECT_STREQ(DATE_day_name(6), "SAT");
    for (int bad : {0, 13, -9999})
        EXPECT_STREQ(DATE_month(bad), "") << bad;
    EXPECT_STREQ(DATE_day_name(7), "");
    int h = 0, m = 0, s = 0;
    EXPECT_EQ(DATE_time_date(90061, &h, &m, &s), 1);
    EXPECT_EQ(h * 10000 + m * 100 + s, 250101);
    Date *shared = DATE_to_struct(2024, 5, 6, 7, 8);
    EXPECT_EQ(shared, DATE_to_struct(1, 1, 1, 1, 1));
    EXPECT_EQ(shared->sec, 0);
    Date d;
    time_t leap_noon = 951825600;
    DATE_get_gmdate(&leap_noon, &d);
    const Date want = {2000, 2, 29, 60, 2, 12, 0, 0};
    EXPECT_EQ(std::memcmp(&d, &want, sizeof d), 0);
}

TEST(Date, SetTzChoosesNameOffsetAndClock) {
    kemtest::in_child([] {
        EXPECT_STREQ(DATE_get_tz_str(), "Z");
        const struct {
            const char *zone, *str;
            int off, pm;
        } cases[] = {{"EST:-5", " EST", -18000, 0},   {"+IST:5.5", " IST", 19800, 1},
                     {"-CST:-6", " CST", -21600, -1}, {"UTC", " UTC", 0, -1},
                     {"LONGNAME:3", " LONG", 0, -1},  {"X:1e30", " X", 0, -1}};
        for (const auto &c : cases) {
            DATE_set_TZ(c.zone);
            EXPECT_STREQ(DATE_get_tz_str(), c.str) << c.zone;
            EXPECT_EQ(DATE_get_tz_off(), c.off) << c.zone;
            EXPECT_EQ(DATE_get_tz_pm(), c.pm) << c.zone;
        }
    });
}

/* The last valid value of every field is kept, not normalised away. */
TEST(Date, NumSecKeepsTheLastValueOfEachField) {
    const Date last = {1999, 12, 31, 0, 0, 23, 59, 59};
    Date d = last;
    EXPECT_EQ(DATE_num_sec(&d), 946684799);
    EXPECT_EQ(std::memcmp(&d, &last, sizeof d), 0) << d.month << "-" << d.day << " " << d.hour;
}

/* A display time zone may lie a whole day away, no farther. */
TEST(Date, SetTzTakesOffsetsUpToADay) {
    kemtest::in_child([] {
        const struct {
            const char *zone;
            int off;
        } cases[] = {{"A:24", 86400}, {"B:-24", -86400}, {"C:24.5", 0}, {"D:-24.5", 0}};
        for (const auto &c : cases) {
            DATE_set_TZ(c.zone);
            EXPECT_EQ(DATE_get_tz_off(), c.off) << c.zone;
        }
    });
}
