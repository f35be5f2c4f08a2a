/*
 * date.cpp - dates and clocks (DATE_).
 *
 * The current-time text that stamps message-file lines.  Owns no state.
 * Never fails: a clock that cannot be read gives an empty text.
 */
#include "kem.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char *month_upper[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Callers hand in at least this many bytes: twenty characters and the NUL.
constexpr size_t current_str_size = 21;

const char *month_name(int tm_mon) {
    return tm_mon >= 0 && tm_mon < 12 ? month_upper[tm_mon] : "";
}

} // namespace

extern "C" {

int DATE_get_current_str(char *str) {
    if (str == nullptr)
        return 0;
    str[0] = '\0';
    time_t now = time(nullptr);
    struct tm utc;
    if (gmtime_r(&now, &utc) == nullptr)
        return 0;
    char text[64];
    int len =
        std::snprintf(text, sizeof text, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", utc.tm_year % 100,
                      month_name(utc.tm_mon), utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    size_t keep = len > 0 ? static_cast<size_t>(len) : 0;
    keep = keep < current_str_size - 1 ? keep : current_str_size - 1;
    std::memcpy(str, text, keep);
    str[keep] = '\0';
    return 0;
}

} // extern "C"
