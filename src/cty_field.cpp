/*
 * cty_field.cpp - the fields of a station record: one row each, with the
 * column name the output prints, the selection keys that test it, and
 * the text of its value.
 *
 * Values are written as printf's formats print them ("%s", "%d", "%3.2f",
 * "%1.0f", "%05d", "%.1f"), byte for byte, but by hand: a station line is
 * formed for every record of a listing, and the formats' parsing would
 * cost more than the rest of the line.  Owns no state; never fails.
 */
#include "cty_field.h"
#include "text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

/* ------------------------------------------------------------------------
 * Digits
 * ---------------------------------------------------------------------- */

/* Whole numbers below 10,000, the most frequent, a pair of digits at a time. */
char *small_digits(char *out, unsigned value) {
    if (value < 10) {
        *out = static_cast<char>('0' + value);
        return out + 1;
    }
    if (value < 100) {
        memcpy(out, digit_pairs + 2 * value, 2);
        return out + 2;
    }
    unsigned high = value / 100, low = value % 100;
    if (high < 10)
        *out++ = static_cast<char>('0' + high);
    else
        memcpy(out, digit_pairs + 2 * high, 2), out += 2;
    memcpy(out, digit_pairs + 2 * low, 2);
    return out + 2;
}

char *text_value(char *out, const char *field, size_t size) {
    for (size_t i = 0; i < size && field[i] != '\0'; i++)
        *out++ = field[i];
    return out;
}

/* A text of at most two bytes. */
char *short_text(char *out, const char (&field)[3]) {
    out[0] = field[0];
    out[1] = field[1];
    return out + (field[0] == '\0' ? 0 : field[1] == '\0' ? 1 : 2);
}

/* The shortest text that reads back as the same float. */
char *float_text(char *out, float value) {
    return std::to_chars(out, out + field_value_max - 1, value).ptr;
}

/* "%.1f", or the missing value for a station without a distance. */
char *dist_text(char *out, double dist) {
    int n = dist < 0 || std::isnan(dist) ? snprintf(out, field_value_max, "%d", KEM_MISSING)
                                         : snprintf(out, field_value_max, "%.1f", dist);
    return out + std::min(static_cast<size_t>(std::max(n, 0)), field_value_max - 1);
}

} // namespace

char *int_text(char *out, int value) {
    if (value >= 0 && value < 10000)
        return small_digits(out, static_cast<unsigned>(value));
    return std::to_chars(out, out + field_value_max - 1, value).ptr;
}

/*
 * "%3.2f" (two decimals) or "%1.0f" (none).  A float times 100 is held
 * exactly by a double, so rounding that to a whole number (ties to even,
 * as printf rounds) gives printf's digits, the sign kept for values that
 * round to zero.  Values too large for that, and infinities and NaN, are
 * left to printf.
 */
char *real_text(char *out, float value, int decimals) {
    double scaled = decimals == 2 ? double(value) * 100.0 : double(value);
    if (!(std::fabs(scaled) < 1e15)) {
        int n = snprintf(out, field_value_max, decimals == 2 ? "%3.2f" : "%1.0f", value);
        return out + std::min(static_cast<size_t>(std::max(n, 0)), field_value_max - 1);
    }
    auto digits = static_cast<unsigned long long>(std::fabs(std::nearbyint(scaled)));
    char *p = out;
    if (std::signbit(value))
        *p++ = '-';
    if (decimals == 2) {
        unsigned long long whole = digits / 100;
        p = whole < 10000 ? small_digits(p, static_cast<unsigned>(whole))
                          : std::to_chars(p, out + field_value_max, whole).ptr;
        *p++ = '.';
        memcpy(p, digit_pairs + 2 * (digits % 100), 2);
        p += 2;
    } else {
        p = digits < 10000 ? small_digits(p, static_cast<unsigned>(digits))
                           : std::to_chars(p, out + field_value_max, digits).ptr;
    }
    return p;
}

/* clang-format off */
const StationField station_fields[station_field_count] = {
    {"Name", "Name", "=", FieldTest::name, false, false, OUT_text, nullptr,
     [](char *out, const CTY_data &c, double) { return text_value(out, c.name, sizeof c.name); },
     nullptr},
    {"ST", "ST", "=", FieldTest::state, true, false, OUT_code, nullptr,
     [](char *out, const CTY_data &c, double) { return text_value(out, c.state, sizeof c.state); },
     nullptr},
    {"CN", "CN", "=", FieldTest::region, true, false, OUT_code, nullptr,
     [](char *out, const CTY_data &c, double) { return text_value(out, c.region, sizeof c.region); },
     nullptr},
    {"ID", "ID", "=", FieldTest::id, false, false, OUT_text, nullptr,
     [](char *out, const CTY_data &c, double) { return text_value(out, c.id, sizeof c.id); },
     nullptr},
    {"P", "P", "=<>", FieldTest::number, false, true, OUT_number,
     [](const CTY_data &c) { return double(c.prior); },
     [](char *out, const CTY_data &c, double) { return int_text(out, c.prior); }, nullptr},
    /* JSON and CSV: every digit the record holds. */
    {"Lat", "Lat", "=<>", FieldTest::number, false, false, OUT_measure,
     [](const CTY_data &c) { return double(c.lat); },
     [](char *out, const CTY_data &c, double) { return real_text(out, c.lat, 2); },
     [](char *out, const CTY_data &c, double) { return float_text(out, c.lat); }},
    {"Lon", "Lon", "=<>", FieldTest::number, false, false, OUT_measure,
     [](const CTY_data &c) { return double(c.lon); },
     [](char *out, const CTY_data &c, double) { return real_text(out, c.lon, 2); },
     [](char *out, const CTY_data &c, double) { return float_text(out, c.lon); }},
    {"Elev", "Elev", "=<>", FieldTest::number, false, false, OUT_measure,
     [](const CTY_data &c) { return double(c.el); },
     [](char *out, const CTY_data &c, double) { return real_text(out, c.el, 0); }, nullptr},
    /* JSON and CSV: no leading zeros, the station number as a number. */
    {"WMO", "WMO", "=<>", FieldTest::number_text, false, true, OUT_measure,
     [](const CTY_data &c) { return double(c.wmo); },
     [](char *out, const CTY_data &c, double) { return station_number(out, c.wmo); },
     [](char *out, const CTY_data &c, double) { return int_text(out, c.wmo); }},
    {"Dist", "RA", "<", FieldTest::range, false, false, OUT_measure, nullptr,
     [](char *out, const CTY_data &, double dist) { return dist_text(out, dist); }, nullptr},
};
/* clang-format on */

char *station_line(char *p, const CTY_data &city, size_t name_len) {
    /* Whole fields copied, the bytes past a text's end overwritten after. */
    memcpy(p, city.name, sizeof city.name);
    p += name_len;
    *p++ = ' ';
    p = short_text(p, city.state);
    *p++ = ' ';
    p = short_text(p, city.region);
    *p++ = ' ';
    memcpy(p, city.id, sizeof city.id);
    p += strnlen(city.id, sizeof city.id);
    *p++ = ' ';
    p = int_text(p, city.prior);
    *p++ = ' ';
    p = real_text(p, city.lat, 2);
    *p++ = ' ';
    p = real_text(p, city.lon, 2);
    *p++ = ' ';
    p = real_text(p, city.el, 0);
    *p++ = ' ';
    p = station_number(p, city.wmo);
    *p++ = ' ';
    *p++ = '\n';
    return p;
}
