/*
 * file_current.cpp - the current and latest data files and the hour
 * resource (FILE_).
 *
 * FILE_set_current names the file of a reference time (the clock,
 * "kemcurtime" or "#YYYYMMDDhhmm") fitted to the fixed date fields and
 * shifted by offsets; "la" searches for the latest file present, a file
 * period at a time.  FILE_conv_hour reads the hour resource into the
 * fixed date fields.
 *
 * State: none of its own; it reads and sets the naming record of
 * file_name.h.  Nothing fails: a search that finds no file names its last
 * try, and an hour text that cannot be read leaves its fields unset.
 */
#include "file_name.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace file_naming;

/* ------------------------------------------------------------------------
 * Current and latest files
 * ---------------------------------------------------------------------- */

namespace {

constexpr int kLatestTries = 500; /* default limit of the latest-file search */
constexpr int kMaxTries = 100000; /* a larger limit given after '#' is cut to this */

/* Reads "[#]YYYY[MM[DD[hh[mm]]]]" into seconds; missing month and day
   are 1, missing hour and minute 0.  `p` moves past what was read. */
time_t read_reference(const char *&p) {
    if (*p == '#')
        ++p;
    Date date{0, 1, 1, 0, 0, 0, 0, 0};
    int *fields[] = {&date.year, &date.month, &date.day, &date.hour, &date.min};
    const size_t widths[] = {4, 2, 2, 2, 2};
    for (int i = 0; i < 5; ++i) {
        size_t n = 0;
        while (n < widths[i] && is_digit(p[n]))
            ++n;
        if (n < widths[i])
            break;
        *fields[i] = std::atoi(std::string(p, n).c_str());
        p += n;
    }
    return DATE_num_sec(&date);
}

time_t reference_time(const char *&cur) {
    if (cur[0] == '#')
        return read_reference(cur);
    const char *env = getenv("kemcurtime");
    if (env != nullptr && env[0] != '\0')
        return read_reference(env);
    time_t now = 0;
    return DATE_get_time(&now);
}

/* Moves the reference back to the last time that fits the fixed fields
   of `set`. */
time_t fit_fixed_fields(time_t ref) {
    const Date &set = naming.set;
    Date d;
    DATE_get_gmdate(&ref, &d);
    d.sec = 0;
    if (set.month >= 0) {
        if (d.month < set.month)
            d.year -= 1;
        d.month = set.month;
    }
    if (set.day >= 0) {
        if (d.day < set.day && --d.month < 1) {
            d.month = 12;
            d.year -= 1;
        }
        d.day = set.day;
    }
    time_t secs = DATE_num_sec(&d);
    if (set.hour >= 0) {
        if (d.hour < set.hour)
            secs -= 86400;
        secs += static_cast<time_t>(set.hour - d.hour) * 3600; /* any int an hour text gave */
    }
    if (set.min >= 0) {
        if (d.min < set.min)
            secs -= 3600;
        secs += static_cast<time_t>(set.min - d.min) * 60;
    }
    return secs;
}

/* Reads a sign: '+' gives 1, '-' gives -1, anything else -1 without
   consuming it. */
int read_sign(const char *&p) {
    if (*p == '+' || *p == '-')
        return *p++ == '+' ? 1 : -1;
    return -1;
}

/* Reads a sign and, when a digit follows, an offset of "[days d]hours
   [:minutes]" applied to `ref`; an offset uses its sign up and a new one
   is read.  `sign` is the sign left for what follows. */
void read_offset(const char *&p, int &sign, time_t &ref) {
    sign = read_sign(p);
    if (!is_digit(*p))
        return;
    long days = 0, hours = 0, minutes = 0;
    char *end = nullptr;
    long first = std::strtol(p, &end, 10);
    if (*end == 'd') {
        days = first;
        p = end + 1;
        hours = std::strtol(p, &end, 10);
    } else {
        hours = first;
    }
    p = end;
    if (*p == ':' && is_digit(p[1])) {
        minutes = std::strtol(p + 1, &end, 10);
        p = end;
    }
    days = std::clamp(days, -100000L, 100000L);
    hours = std::clamp(hours, -1000000L, 1000000L);
    minutes = std::clamp(minutes, -10000000L, 10000000L);
    ref += sign * (days * 86400 + hours * 3600 + minutes * 60);
    sign = read_sign(p);
}

/* The size a file must exceed to count as present. */
bool present(const char *name) {
    return FILE_size(name) > (naming.rmin_size > 0 ? naming.rmin_size : naming.min_size);
}

/* Steps from `ref` by sign x period until a file is present or the limit
   of tries is reached; leaves the reference of the last try. */
time_t search_latest(const char *&p, int sign, time_t ref) {
    int limit = kLatestTries;
    if (*p == '#') {
        limit = std::clamp(std::atoi(p + 1), 1, kMaxTries);
        ++p;
        while (is_digit(*p))
            ++p;
    }
    char name[kNameChars + 1];
    for (int i = 0; i < limit; ++i) {
        name_of(ref, name);
        MESS_print(M_debug, "LATE: %s\n", name);
        if (present(name)) {
            MESS_print(M_debug, "LATEST: %s %s %d\n", name, "found", i + 1);
            return ref;
        }
        if (naming.late_off <= 0)
            break; /* no period: every time names this one file */
        if (i + 1 < limit)
            ref += sign * static_cast<time_t>(naming.late_off);
    }
    MESS_print(M_debug, "LATEST: %s %s %d\n", name, "not found", limit);
    return ref;
}

} // namespace

bool file_naming::name_current(const char *name, char *out) {
    if (name[0] != '#' && strnicmp(name, "la", 2) != 0 && strnicmp(name, "cu", 2) != 0)
        return false;
    char current[kNameChars + 1];
    FILE_set_current(strnicmp(name, "cu", 2) == 0 ? name + 2 : name, current);
    MESS_print(M_mess, "Current filename: %s\n", current);
    put_name(out, current);
    return true;
}

time_t FILE_set_current(const char *cur, char *filename) {
    const char *p = cur ? cur : "la";
    naming.filename_type = 0;
    time_t ref = fit_fixed_fields(reference_time(p));
    int sign = -1;
    read_offset(p, sign, ref);
    if (*p == 'l' || *p == 'L') {
        p += strnicmp(p, "la", 2) == 0 ? 2 : 1;
        ref = search_latest(p, sign, ref);
        read_offset(p, sign, ref);
    }
    char name[kNameChars + 1];
    name_of(ref, name);
    put_name(filename, name);
    naming.filename_type = 0;
    return naming.late_off > 0 ? ref / naming.late_off * naming.late_off : ref;
}

/* ------------------------------------------------------------------------
 * The hour resource
 * ---------------------------------------------------------------------- */

namespace {

/* "[-]hours[:minutes]"; a leading '-' with hour 0 leaves the hour unset
   and negates the minute, only when a minute was read. */
void read_hour_minute(const char *text, Date &date) {
    int hour = 0, minute = 0;
    int n = std::sscanf(text, "%9d:%9d", &hour, &minute);
    if (std::strncmp(text, "-:", 2) == 0) /* a minute only: "-:30" */
        n = std::sscanf(text, "-:%9d", &minute) == 1 ? 2 : 0;
    if (text[0] == '-' && hour == 0) {
        if (n == 2)
            date.min = -minute;
        return;
    }
    if (n >= 1)
        date.hour = hour;
    if (n == 2)
        date.min = minute;
}

void read_hour_text(const char *text, Date &date) {
    size_t len = std::strlen(text);
    bool colon = std::strchr(text, ':') != nullptr;
    if (text[0] == '#' && is_digit(text[1]))
        read_fixed_date(text + 1, date, true);
    else if (len == 6 && !colon)
        std::sscanf(text, "%2d%2d%2d", &date.month, &date.day, &date.hour);
    else if (len == 4 && is_digit(text[0]) && !colon)
        std::sscanf(text, "%2d%2d", &date.day, &date.hour);
    else if (len == 3 && is_digit(text[0]) && !colon)
        std::sscanf(text, "%1d%2d", &date.day, &date.hour);
    else if (std::strchr(text, 'd') != nullptr)
        std::sscanf(text, "%9dd%9d:%9d", &date.day, &date.hour, &date.min);
    else if (text[0] == ':')
        std::sscanf(text, ":%9d", &date.min);
    else
        read_hour_minute(text, date);
}

} // namespace

void file_naming::read_fixed_date(const char *p, Date &date, bool short_last) {
    int *fields[] = {&date.year, &date.month, &date.day, &date.hour, &date.min};
    for (int i = 0; i < 5 && is_digit(*p); ++i) {
        size_t width = i == 0 ? 4 : 2, n = strnlen(p, width);
        if (n < width && !short_last)
            break;
        *fields[i] = std::atoi(std::string(p, n).c_str());
        p += n;
    }
}

int FILE_conv_hour(const char *value) {
    Date date = kUnsetDate;
    if (value != nullptr)
        read_hour_text(value, date);
    return FILE_set_time(&date) == 0 ? 1 : 0;
}
