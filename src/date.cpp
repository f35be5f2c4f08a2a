/*
 * date.cpp - calendar arithmetic on Date records and seconds since 1970
 * (DATE_).
 *
 * A Date is eight integers, -9999 in a field meaning "not set".  This file
 * converts between records, seconds since 1970-01-01 00:00:00 universal
 * time, day numbers (1970-01-01 is day 1) and days of the year, writes the
 * current-time texts, and keeps the display time zone that labels use.
 *
 * Owns the display time zone (name, offset in seconds, clock style) and the
 * one record DATE_to_struct hands out.  Never fails: out-of-range fields are
 * normalised, clamped or passed through, a bad month names the empty text,
 * and a clock that cannot be read gives an empty text.
 */
#include "kem.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *month_upper[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char *month_lower[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char *month_full[] = {"January",   "February", "March",    "April",
                                      "May",       "June",     "July",     "August",
                                      "September", "October",  "November", "December"};
constexpr const char *day_upper[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

// Days before each month; index 12 is the length of the year.
constexpr int days_before[2][13] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
                                    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

constexpr int not_set = KEM_MISSING;
constexpr long long secs_per_day = 86400;

// Callers of the current-time texts hand in at least these many bytes.
constexpr size_t current_str_size = 21;
constexpr size_t simple_str_size = 10;

struct DateState {
    char tz_str[6] = "Z"; // a blank and up to four characters, or "Z"
    int tz_off = 0;       // seconds added to universal time for display
    int tz_pm = 0;        // 0: 24-hour, >0: 12-hour, <0: 12-hour and universal
    Date shared = {};     // the record DATE_to_struct hands out
};

DateState state;

const char *name_of(const char *const *table, int count, int index) {
    return index >= 0 && index < count ? table[index] : "";
}

// Leap days between 1970 and the given date under the every-fourth-year
// rule; floor division keeps the rule going before 1900.
/* Days from 1970-01-01 to a date of the Gregorian calendar, which holds
   every year (negative before 1970).  The day passes through as it is:
   day 0 is the last of the month before. */
long long days_from_civil(long long year, int month, long long day) {
    year -= month <= 2;
    long long era = (year >= 0 ? year : year - 399) / 400;
    long long yoe = year - era * 400;
    long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

/* The date of a count of days from 1970-01-01. */
void civil_from_days(long long days, int &year, int &month, int &day) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long doe = days - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

void normalise(Date *date) {
    if (date->year < 0)
        date->year = 1980;
    if (date->year < 50)
        date->year += 2000;
    if (date->year < 200)
        date->year += 1900;
    if (date->month < 1 || date->month > 12)
        date->month = 1;
    if (date->day < 0 || date->day > 31)
        date->day = 1;
    if (date->hour < 0 || date->hour > 23)
        date->hour = 0;
    if (date->min < 0 || date->min > 59)
        date->min = 0;
    if (date->sec < 0 || date->sec > 59)
        date->sec = 0;
}

void from_tm(const struct tm *tm, Date *date) {
    date->year = tm->tm_year + 1900;
    date->month = tm->tm_mon + 1;
    date->day = tm->tm_mday;
    date->jday = tm->tm_yday + 1;
    date->wday = tm->tm_wday;
    date->hour = tm->tm_hour;
    date->min = tm->tm_min;
    date->sec = tm->tm_sec;
}

void set_unset(Date *date) {
    date->year = date->month = date->day = date->jday = not_set;
    date->wday = date->hour = date->min = date->sec = not_set;
}

// Copies a formatted text into a caller's buffer of `size` bytes, cut to fit.
void copy_bounded(char *out, size_t size, const char *text, int len) {
    size_t keep = len > 0 ? static_cast<size_t>(len) : 0;
    keep = keep < size - 1 ? keep : size - 1;
    std::memcpy(out, text, keep);
    out[keep] = '\0';
}

bool current_utc(struct tm *utc) {
    time_t now = time(nullptr);
    return gmtime_r(&now, utc) != nullptr;
}

/* Empties a current-time string and reads the clock: false when there is
   no string or no time. */
bool start_current_str(char *str, struct tm &utc) {
    if (str == nullptr)
        return false;
    str[0] = '\0';
    return current_utc(&utc);
}


} // namespace

extern "C" {

/* ---- names ------------------------------------------------------------ */

const char *DATE_month(int month) {
    return name_of(month_upper, 12, month - 1);
}
const char *DATE_month_lower(int month) {
    return name_of(month_lower, 12, month - 1);
}
const char *DATE_month_long(int month) {
    return name_of(month_full, 12, month - 1);
}
const char *DATE_day_name(int wday) {
    return name_of(day_upper, 7, wday);
}

/* ---- records ---------------------------------------------------------- */

int DATE_init(Date *date) {
    if (date != nullptr)
        set_unset(date);
    return 0;
}

int DATE_print(M_type type, const Date *date) {
    if (date != nullptr)
        MESS_print(type, "%d/%d/%d %2.2d:%2.2d:%2.2d\n", date->year, date->month, date->day,
                   date->hour, date->min, date->sec);
    return 0;
}

Date *DATE_to_struct(int year, int month, int day, int hour, int min) {
    state.shared.year = year;
    state.shared.month = month;
    state.shared.day = day;
    state.shared.hour = hour;
    state.shared.min = min;
    state.shared.sec = 0;
    return &state.shared;
}

/* ---- display time zone ------------------------------------------------ */

int DATE_set_TZ(const char *zone) {
    if (zone == nullptr)
        return 0;
    if (*zone == '-' || *zone == '+')
        state.tz_pm = *zone++ == '-' ? -1 : 1;
    char name[5] = "";
    float hours = 0.0f;
    if (std::sscanf(zone, "%4[^:]:%f", name, &hours) < 2 || !std::isfinite(hours) ||
        std::fabs(hours) > 24.0f)
        hours = 0.0f;
    std::snprintf(state.tz_str, sizeof state.tz_str, " %s", name);
    state.tz_off = static_cast<int>(3600.0f * hours);
    return 0;
}

int DATE_get_tz_off(void) {
    return state.tz_off;
}
const char *DATE_get_tz_str(void) {
    return state.tz_str;
}
int DATE_get_tz_pm(void) {
    return state.tz_pm;
}

/* ---- the current time ------------------------------------------------- */

int DATE_get_current_str(char *str) {
    struct tm utc;
    if (!start_current_str(str, utc))
        return 0;
    char text[64];
    int len =
        std::snprintf(text, sizeof text, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", utc.tm_year % 100,
                      DATE_month(utc.tm_mon + 1), utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    copy_bounded(str, current_str_size, text, len);
    return 0;
}

int DATE_get_simple_current_str(char *str) {
    struct tm utc;
    if (!start_current_str(str, utc))
        return 0;
    char text[64];
    int len = std::snprintf(text, sizeof text, "%2.2d-%2.2d:%2.2dZ", utc.tm_mday, utc.tm_hour,
                            utc.tm_min);
    copy_bounded(str, simple_str_size, text, len);
    return 0;
}

int DATE_print_current(M_type type) {
    char text[current_str_size];
    DATE_get_current_str(text);
    MESS_print(type, "%s", text);
    return 0;
}

int DATE_get_current_gmdate(Date *date) {
    return DATE_get_gmdate(nullptr, date);
}

time_t DATE_get_time(time_t *secs) {
    time_t now = time(nullptr);
    if (secs != nullptr)
        *secs = now;
    return now;
}

struct tm *DATE_get_gmtime(const time_t *secs) {
    return secs != nullptr ? gmtime(secs) : nullptr;
}

struct tm *DATE_get_localtime(const time_t *secs) {
    return secs != nullptr ? localtime(secs) : nullptr;
}

namespace {

/* The date of `secs` (of now when null) broken down by `split`
   (gmtime_r or localtime_r); every field unset when it fails. */
int broken_down(const time_t *secs, Date *date, struct tm *(*split)(const time_t *, struct tm *)) {
    if (date == nullptr)
        return 0;
    time_t when = secs != nullptr ? *secs : time(nullptr);
    struct tm tm;
    if (split(&when, &tm) == nullptr)
        set_unset(date);
    else
        from_tm(&tm, date);
    return 0;
}

} // namespace

int DATE_get_gmdate(const time_t *secs, Date *date) {
    return broken_down(secs, date, gmtime_r);
}

int DATE_get_localdate(const time_t *secs, Date *date) {
    return broken_down(secs, date, localtime_r);
}

/* ---- seconds, day numbers, days of the year ---------------------------- */

int DATE_is_leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

time_t DATE_num_sec(Date *date) {
    if (date == nullptr)
        return 0;
    normalise(date);
    long long days = days_from_civil(date->year, date->month, date->day);
    long long secs = date->sec + 60LL * date->min + 3600LL * date->hour + secs_per_day * days;
    return static_cast<time_t>(secs);
}

time_t DATE_num_sec_tm(const struct tm *tm) {
    if (tm == nullptr)
        return 0;
    Date date;
    set_unset(&date);
    date.year = tm->tm_year;
    date.month = tm->tm_mon + 1;
    date.day = tm->tm_mday;
    date.hour = tm->tm_hour;
    date.min = tm->tm_min;
    date.sec = tm->tm_sec;
    return DATE_num_sec(&date);
}

/* Gregorian day numbers, 1970-01-01 being day 1.  A month outside 1 to 12
   counts as January, before any leap day of its year. */
int DATE_date_days(int year, int month, int day) {
    long long days = days_from_civil(year, month >= 1 && month <= 12 ? month : 1, day) + 1;
    return static_cast<int>(std::clamp<long long>(days, INT_MIN, INT_MAX));
}

int DATE_days_date(int days, int *year, int *month, int *day) {
    int y = 0, m = 0, d = 0;
    civil_from_days(days - 1LL, y, m, d);
    if (year != nullptr)
        *year = y;
    if (month != nullptr)
        *month = m;
    if (day != nullptr)
        *day = d;
    return 0;
}

int DATE_time_date(int rsecs, int *hour, int *min, int *sec) {
    if (hour != nullptr)
        *hour = rsecs / 3600;
    if (min != nullptr)
        *min = rsecs % 3600 / 60;
    if (sec != nullptr)
        *sec = rsecs % 60;
    return 1;
}

int DATE_julian_monday(int year, int julian, int *month, int *day) {
    const int *table = days_before[DATE_is_leap(year)];
    if (julian < 1)
        julian = 1;
    if (julian > table[12])
        julian = table[12];
    int m = 1;
    while (m < 12 && table[m] < julian)
        ++m;
    if (month != nullptr)
        *month = m;
    if (day != nullptr)
        *day = julian - table[m - 1];
    return 0;
}

int DATE_monday_julian(int year, int month, int day, int *julian) {
    month = month < 1 ? 1 : month > 12 ? 12 : month;
    if (julian != nullptr)
        *julian = days_before[DATE_is_leap(year)][month - 1] + day;
    return 0;
}

} // extern "C"
