/*
 * date_label.cpp - date labels and the decoding window (DATE_).
 *
 * Dates reach people and files as short texts: observation labels ("12Z
 *  7 MAR 24"), forecast labels that name the forecast length, the model
 * and the valid time, twelve-character sequence stamps and free formats.
 * This file makes and reads those texts, shifting and naming times by the
 * display zone of date.cpp, and holds the decoding window: the date and
 * time for which reports are decoded and the minutes around it within
 * which a report counts.
 *
 * State: the decoding window (the decode date, the base time, the window
 * ends and the minutes before and after, initially -15 and +10).  Labels
 * never fail: out-of-range fields are normalised, and every label is cut
 * at kLabelChars characters.  Null output buffers give -1.
 */
#include "kem.h"
#include "step_code.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kLabelChars = 79; /* labels go into 80-byte buffers */

struct Window {
    Date decode{KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING,
                KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING};
    time_t base = 0;
    time_t start = 0;
    time_t end = 0;
    int min_pre = -15;
    int min_post = 10;
};

Window window;

/* printf-style append to a label. */
void add(std::string &label, const char *format, ...) KEM_PRINTF(2, 3);
void add(std::string &label, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0)
        label.append(text, std::min(static_cast<size_t>(n), sizeof text - 1));
}

int put_label(char *str, const std::string &label) {
    size_t n = std::min(label.size(), kLabelChars);
    std::memcpy(str, label.data(), n);
    str[n] = '\0';
    return 0;
}

bool unset(int field) {
    return field == KEM_MISSING;
}

int in_range(int value, int low, int high, int fallback) {
    return value < low || value > high ? fallback : value;
}

int year2(int year) {
    return (year < 0 ? 1980 : year) % 100;
}

/* The parts of a forecast-hour code. */
struct Fhour {
    int t1 = 0, t2 = 0, t3 = KEM_MISSING, t4 = KEM_MISSING;
};

Fhour split(int code) {
    Fhour f;
    if (code != KEM_MISSING) {
        f.t1 = code / 1000000;
        f.t2 = code % 1000000 / 1000;
        f.t3 = code % 1000;
        if (f.t2 == 900 || f.t2 == 800)
            f.t2 = 0;
        if (f.t3 == 900 || f.t3 == 800)
            f.t3 = 0;
    }
    f.t4 = f.t1 < 6 ? f.t3 : f.t2;
    return f;
}

bool shown(int length) {
    return length != 0 && length != KEM_MISSING;
}

/* The hour text of a clock: `h24` is the 24-hour form ("%2.2d%s" or
   "%d%s"); with minutes the forms carry the minute too. */
std::string hour_text(int hour, int min, bool minutes, bool padded, const Date &utc) {
    std::string text;
    const char *zone = DATE_get_tz_str();
    int pm = DATE_get_tz_pm();
    if (pm == 0) {
        if (minutes)
            add(text, padded ? "%2.2d%2.2d%s" : "%d%2.2d%s", hour, min, zone);
        else
            add(text, padded ? "%2.2d%s" : "%d%s", hour, zone);
        return text;
    }
    int h12 = hour % 12 == 0 ? 12 : hour % 12;
    const char *half = hour >= 12 ? "PM" : "AM";
    if (minutes)
        add(text, "%d:%2.2d %s%s", h12, min, half, zone);
    else
        add(text, "%d %s%s", h12, half, zone);
    if (pm < 0 && minutes)
        add(text, " [%2.2d%2.2dZ]", utc.hour, utc.min);
    else if (pm < 0)
        add(text, " [%2.2dZ]", utc.hour);
    return text;
}

/* Seconds of a normalised copy; `utc` and `shown_date` the universal date
   and the date in the display zone, `hours` later. */
void shift(const Date &base, int hours, Date &utc, Date &shown_date) {
    Date copy = base;
    time_t secs = DATE_num_sec(&copy) + static_cast<time_t>(hours) * 3600;
    DATE_get_gmdate(&secs, &utc);
    time_t local = secs + DATE_get_tz_off();
    DATE_get_gmdate(&local, &shown_date);
}

/* `date` in range: a bad day or month becomes 1, a bad set hour 0, a negative year 1980. */
Date normalised(const Date &date) {
    Date d = date;
    if (!unset(d.hour))
        d.hour = in_range(d.hour, 0, 23, 0);
    d.day = in_range(d.day, 1, 31, 1);
    d.month = in_range(d.month, 1, 12, 1);
    if (d.year < 0)
        d.year = 1980;
    return d;
}

/* The valid time of a forecast label: hour text, day name when asked for,
   day, month and year; without an hour the forecast labels print the year
   with "%2d" (`short_year`). */
std::string valid_time(const Date &date, int hours, bool weekday, bool padded,
                       bool short_year = true) {
    Date base = normalised(date);
    bool has_hour = !unset(base.hour);
    bool minutes = !unset(date.min) && date.min != 0;
    base.hour = has_hour ? base.hour : 0;
    base.min = unset(base.min) ? 0 : base.min;
    base.sec = 0;
    Date utc, d;
    shift(base, hours, utc, d);
    std::string text;
    if (has_hour)
        add(text, " %s", hour_text(d.hour, d.min, minutes, padded, utc).c_str());
    if (weekday)
        add(text, " %3s", DATE_day_name(d.wday));
    add(text, has_hour || !short_year ? " %2d %3s %2.2d" : " %2d %3s %2d", d.day,
        DATE_month(d.month), year2(d.year));
    return text;
}

std::string length_text(int length, bool flag) {
    char text[32];
    DATE_fhour_label(text, length, flag);
    return text;
}

/* The first part of every forecast label: length, blank, model. */
std::string forecast_head(const Fhour &f, bool flag, const char *model) {
    std::string label = length_text(f.t4, flag);
    if (shown(f.t4))
        label += ' ';
    if (model != nullptr)
        label.append(model, strnlen(model, kLabelChars));
    return label;
}

bool has_model(const char *model) {
    return model != nullptr && model[0] != '\0';
}

/* ------------------------------------------------------------------------
 * Reading labels
 * ---------------------------------------------------------------------- */

/* The last `n` characters of `str`, or null when it is shorter. */
const char *last(const char *str, size_t n) {
    size_t len = std::strlen(str);
    return len < n ? nullptr : str + len - n;
}

bool read_label(const char *str, Date *date) {
    char month[4] = "";
    int h = 0, m = 0, s = 0, d = 0, y = 0;
    if (std::sscanf(str, "%2dZ %2d %3s %2d", &h, &d, month, &y) == 4) {
        *date = Date{
            y, DATE_decode_month(month), d, KEM_MISSING, KEM_MISSING, h, KEM_MISSING, KEM_MISSING};
        return true;
    }
    if (const char *p = last(str, 15)) {
        const char *form = p[0] == ' ' ? "%1d%2dZ %2d %3s %2d" : "%2d%2dZ %2d %3s %2d";
        if (std::sscanf(p[0] == ' ' ? p + 1 : p, form, &h, &m, &d, month, &y) == 5) {
            *date =
                Date{y, DATE_decode_month(month), d, KEM_MISSING, KEM_MISSING, h, m, KEM_MISSING};
            return true;
        }
    }
    if (const char *p = last(str, 19)) {
        if (std::sscanf(p, "%2d:%2d:%2dZ %2d %3s %2d", &h, &m, &s, &d, month, &y) == 6) {
            *date = Date{y, DATE_decode_month(month), d, KEM_MISSING, KEM_MISSING, h, m, s};
            return true;
        }
    }
    if (const char *p = last(str, 13)) {
        if (std::sscanf(p, "%2dZ %2d %3s %2d", &h, &d, month, &y) == 4) {
            *date = Date{
                y,          DATE_decode_month(month), d, KEM_MISSING, KEM_MISSING, h, KEM_MISSING,
                KEM_MISSING};
            return true;
        }
    }
    int a = 0, b = 0;
    char tail = '\0';
    if (std::sscanf(str, "%2d %2d %2d %2d%c", &a, &b, &d, &y, &tail) == 4) {
        *date = Date{y, 0, d, KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING};
        return true;
    }
    return false;
}

/* Both letters upper case or both lower case, equal to the pair. */
bool pair(char a, char b, char upper_a, char upper_b) {
    bool upper = a == upper_a && b == upper_b;
    bool lower = a == std::tolower(upper_a) && b == std::tolower(upper_b);
    return upper || lower;
}

/* ------------------------------------------------------------------------
 * The decoding window
 * ---------------------------------------------------------------------- */

/* A fixed hour or minute: `code` itself, or a step code applied to
   `value`; a step code whose step is 0 leaves `value`. */
int apply_code(int code, int value) {
    if (code >= 0 || unset(code))
        return code;
    StepCode step;
    return read_step_code(code, step, true) ? step.apply(value) : value;
}

/* What "decode_hour" gives. */
struct DecodeHour {
    int hour = KEM_MISSING, min = KEM_MISSING;
    int before = 0, after = 0;
    bool range = false;
    int back = 0; /* hours the decode date moves back */
};

bool read_current_form(const char *text, const Date &decode, DecodeHour &r) {
    if (strnicmp(text, "cu:cu", 5) == 0) {
        r.hour = decode.hour;
        r.min = decode.min;
        r.range = std::sscanf(text + 5, "-%6d+%6d", &r.before, &r.after) == 2;
        return true;
    }
    if (strnicmp(text, "cu", 2) != 0)
        return false;
    r.hour = decode.hour;
    r.min = 0;
    const char *p = text + 2;
    int a = 0, b = 0, c = 0;
    if (std::sscanf(p, "-%6d-%6d+%6d", &a, &b, &c) == 3) {
        r.back = a, r.before = b, r.after = c, r.range = true;
    } else if (int n = std::sscanf(p, "-%6d+%6d", &a, &b); n == 2) {
        r.before = a, r.after = b, r.range = true;
    } else if (n == 1) {
        r.back = a;
    } else if (std::sscanf(p, ":%6d-%6d+%6d", &a, &b, &c) == 3) {
        r.min = a, r.before = b, r.after = c, r.range = true;
    }
    return true;
}

DecodeHour read_decode_hour(const char *text, const Date &decode) {
    DecodeHour r;
    int h = 0, m = 0, b = 0, a = 0;
    if (std::sscanf(text, "%6d:%6d-%6d+%6d", &h, &m, &b, &a) == 4)
        r = DecodeHour{h, m, b, a, true, 0};
    else if (std::sscanf(text, "%6d-%6d+%6d", &h, &b, &a) == 3)
        r = DecodeHour{h, 0, b, a, true, 0};
    else if (std::sscanf(text, ":-%6d+%6d", &b, &a) == 2)
        r = DecodeHour{KEM_MISSING, KEM_MISSING, b, a, true, 0};
    else if (!read_current_form(text, decode, r)) {
        int n = std::sscanf(text, "%6d:%6d", &h, &m);
        r.hour = n >= 1 ? h : KEM_MISSING;
        r.min = n == 2 ? m : KEM_MISSING;
    }
    return r;
}

int hour_of(int hour) {
    return unset(hour) ? 0 : hour;
}

} // namespace

extern "C" {

/* ------------------------------------------------------------------------
 * Making labels
 * ---------------------------------------------------------------------- */

char *DATE_fhour_label(char *str, int fhour, int flag) {
    if (str == nullptr)
        return str;
    std::string text;
    if (fhour > 900)
        add(text, "%d month", fhour - 900);
    else if (fhour > 800)
        add(text, "%d day", fhour - 800);
    else if (flag && fhour > 0 && fhour <= 60 && fhour % 12 == 0)
        add(text, fhour % 24 ? "%d.5 day" : "%d day", fhour / 24);
    else if (fhour > 60 && fhour % 24 == 0)
        add(text, "%d day", fhour / 24);
    else if (fhour > 60 && fhour % 24 == 12)
        add(text, "%d.5 day", fhour / 24);
    else if (shown(fhour))
        add(text, "%d hour", fhour);
    put_label(str, text);
    return str;
}

int DATE_make_label(Date *date, char *str) {
    if (str == nullptr || date == nullptr)
        return -1;
    Date d = *date, utc = *date;
    if (DATE_get_tz_off() != 0) {
        time_t secs = DATE_num_sec(date);
        DATE_get_gmdate(&secs, &utc);
        time_t local = secs + DATE_get_tz_off();
        DATE_get_gmdate(&local, &d);
    }
    std::string label;
    int year = year2(d.year);
    int month = in_range(d.month, 1, 12, 1);
    if (unset(d.month)) {
        add(label, "%2.2d", year);
    } else if (unset(d.day)) {
        add(label, "%3s %2.2d", DATE_month(month), year);
    } else if (unset(d.hour)) {
        add(label, "%2d %3s %2.2d", in_range(d.day, 0, 31, 1), DATE_month(month), year);
    } else {
        bool minutes = !unset(d.min);
        std::string hour =
            hour_text(in_range(d.hour, 0, 23, 0), in_range(d.min, 0, 59, 0), minutes, true, utc);
        add(label, "%s %2d %3s %2.2d", hour.c_str(), in_range(d.day, 0, 31, 1), DATE_month(month),
            year);
    }
    return put_label(str, label);
}

int DATE_make_label_for_time_mod(int fhour, const char *model, const Date *date, char *str) {
    if (str == nullptr || date == nullptr)
        return -1;
    Fhour f = split(fhour);
    std::string label = forecast_head(f, unset(date->hour), model);
    if (f.t1 != 0 || shown(f.t4)) {
        bool weekday = f.t2 <= 0 || f.t3 != 0;
        if (weekday)
            label += " valid";
        else
            label += has_model(model) ? " analysis valid" : "Analysis valid";
        label += valid_time(*date, f.t3, weekday, false);
    } else {
        label += has_model(model) ? " analysis for " : "Analysis for ";
        Date copy = *date;
        char obs[kLabelChars + 1];
        DATE_make_label(&copy, obs);
        label += obs;
    }
    return put_label(str, label);
}

int DATE_make_label_for_time(int fhour, int model, const Date *date, char *str) {
    char name[20] = "";
    VAR_model(name, model);
    return DATE_make_label_for_time_mod(fhour, name[0] ? name : nullptr, date, str);
}

int DATE_make_label_for(int fhour, int model, time_t secs, char *str) {
    if (str == nullptr)
        return -1;
    Fhour f = split(fhour);
    char name[20] = "";
    VAR_model(name, model);
    std::string label = forecast_head(f, false, name);
    if (secs == 0) {
        if (f.t4 == 0)
            label += " analysis";
        put_label(str, label);
        return -1;
    }
    bool weekday = false;
    if (f.t2 < 6 || f.t3 != 0) {
        weekday = f.t4 != 0;
        label += weekday ? " valid" : " analysis for";
    } else {
        label += " analysis valid";
    }
    Date base;
    DATE_get_gmdate(&secs, &base);
    base.sec = 0;
    label += valid_time(base, unset(f.t3) ? 0 : f.t3, weekday, true);
    return put_label(str, label);
}

int DATE_make_label_valid_time(int fhour, const Date *date, char *str) {
    if (str == nullptr || date == nullptr)
        return -1;
    Fhour f = split(fhour);
    std::string label = valid_time(*date, unset(f.t3) ? 0 : f.t3, true, false, false);
    return put_label(str, label.substr(1)); /* no blank in front */
}

int DATE_format_label(char *str, const char *format, int fhour, const char *model,
                      const Date *date) {
    if (str == nullptr || format == nullptr || date == nullptr)
        return -1;
    std::string label;
    for (const char *p = format; *p; ++p) {
        if (*p != '%' || p[1] == '\0') {
            label += *p;
            continue;
        }
        switch (*++p) {
        case 'F':
            label += length_text(split(fhour).t4, unset(date->hour));
            break;
        case 'f':
            add(label, "%d", fhour);
            break;
        case 'x':
            label += model ? std::string(model, strnlen(model, kLabelChars)) : "";
            break;
        case 'y':
            add(label, "%2.2d", year2(date->year));
            break;
        case 'm':
            add(label, "%2.2d", date->month);
            break;
        case 'M':
            add(label, "%3.3s", DATE_month(in_range(date->month, 1, 12, 1)));
            break;
        case 'd':
            add(label, "%2.2d", date->day);
            break;
        case 'h':
            if (!unset(date->hour))
                add(label, "%2.2d", date->hour);
            break;
        case 'n':
            if (!unset(date->min))
                add(label, "%2.2d", date->min);
            break;
        default:
            label += *p;
        }
    }
    return put_label(str, label);
}

int DATE_make_seq(Date *date, char *str) {
    if (str == nullptr || date == nullptr)
        return -1;
    DATE_num_sec(date);
    std::string seq;
    add(seq, "%4.4d%2.2d%2.2d%2.2d%2.2d", date->year, date->month, date->day, date->hour,
        date->min);
    return put_label(str, seq);
}

int DATE_decode_seq(const char *str, Date *date) {
    if (str == nullptr || date == nullptr)
        return -1;
    DATE_init(date);
    std::sscanf(str, "%4d%2d%2d%2d%2d", &date->year, &date->month, &date->day, &date->hour,
                &date->min);
    return 0;
}

/* ------------------------------------------------------------------------
 * Reading labels
 * ---------------------------------------------------------------------- */

int DATE_decode_label(const char *str, Date *date) {
    if (date == nullptr)
        return 0;
    DATE_init(date);
    if (str == nullptr || !read_label(str, date))
        return 0;
    if (date->year <= 49)
        date->year += 2000;
    else if (date->year <= 199)
        date->year += 1900;
    return 0;
}

int DATE_decode_month(const char *str) {
    if (str == nullptr || str[0] == '\0')
        return 0;
    switch (std::toupper(static_cast<unsigned char>(str[0]))) {
    case 'F':
        return 2;
    case 'S':
        return 9;
    case 'O':
        return 10;
    case 'N':
        return 11;
    case 'D':
        return 12;
    }
    if (pair(str[0], str[1], 'J', 'A'))
        return 1;
    if (str[1] == '\0' || str[2] == '\0')
        return 0;
    struct Third {
        char first, third;
        int month;
    };
    constexpr Third thirds[] = {{'J', 'N', 6}, {'J', 'L', 7}, {'M', 'R', 3},
                                {'M', 'Y', 5}, {'A', 'R', 4}, {'A', 'G', 8}};
    for (const Third &t : thirds)
        if (pair(str[0], str[2], t.first, t.third))
            return t.month;
    return 0;
}

/* ------------------------------------------------------------------------
 * The decoding window
 * ---------------------------------------------------------------------- */

int DATE_set_datim(const Date *date) {
    if (date == nullptr)
        return 0;
    window.decode = *date;
    Date fixed;
    FILE_get_time(&fixed);
    int hour = fixed.hour, min = fixed.min;
    const char *text = RES_get("decode_hour");
    DecodeHour r;
    if (text != nullptr) {
        r = read_decode_hour(text, window.decode);
        if (r.back != 0) {
            Date &d = window.decode;
            d.hour = hour_of(d.hour);
            time_t secs = DATE_num_sec(&d) - static_cast<time_t>(r.back) * 3600;
            DATE_get_gmdate(&secs, &d);
            r.hour = d.hour;
        }
        hour = r.hour;
        min = r.min;
    }
    Date &d = window.decode;
    hour = apply_code(hour, hour_of(d.hour));
    min = apply_code(min, hour_of(d.min));
    if (text != nullptr && !unset(hour))
        MESS_print(M_mess, "Decoding for: %2.2d:%2.2dZ\n", hour, unset(min) ? 0 : min);
    if (!unset(hour)) {
        d.hour = hour;
        d.min = unset(min) ? 0 : min;
    }
    d.sec = 0;
    Date copy = d;
    window.base = DATE_num_sec(&copy);
    if (r.range) {
        MESS_print(M_mess, "Decoding range: %d +%d mins\n", -r.before, r.after);
        DATE_set_range(-r.before, r.after);
    } else {
        DATE_set_range(window.min_pre, window.min_post);
    }
    return 0;
}

int DATE_get_datim(Date *date) {
    if (date != nullptr)
        *date = window.decode;
    return 0;
}

int DATE_set_range(int pre, int post) {
    window.min_pre = pre;
    window.min_post = post;
    window.start = window.base + static_cast<time_t>(pre) * 60;
    window.end = window.base + static_cast<time_t>(post) * 60;
    return 0;
}

int DATE_chk_range(int time) {
    if (time == KEM_MISSING)
        return 0;
    int hour = time / 100, min = time % 100;
    int dhour = hour_of(window.decode.hour), dmin = hour_of(window.decode.min);
    time_t t = window.base + static_cast<time_t>(min - dmin) * 60;
    if (hour == dhour - 1 || (hour == 23 && dhour == 0)) {
        t -= 3600;
    } else if (hour != dhour) {
        int d = hour - dhour;
        d = d < -11 ? d + 24 : d >= 12 ? d - 24 : d;
        t += static_cast<time_t>(d) * 3600;
    }
    int inside = t >= window.start && t <= window.end ? 1 : 0;
    MESS_print(M_debug, "%d %d %d-%d = %d\n", time, static_cast<int>(t - window.base),
               window.min_pre, window.min_post, inside);
    return inside;
}

} // extern "C"
