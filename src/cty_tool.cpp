/*
 * cty_tool.cpp - station selection expressions.
 *
 * Decides whether a station record matches a list of selection items
 * (alternatives), each item being ":"-separated pieces that must all
 * match: key expressions such as ST=IN, P<3, Lat>40 or RA<lat:lon:km,
 * or, for the whole item, a plain identifier, station number or name
 * prefix.  Also answers, for callers that know only an identifier,
 * whether a list may select it.
 *
 * The module owns no state.  Nothing is printed: an item that cannot be
 * read (an unreadable number, a key without the pieces it needs) simply
 * does not match.
 */
#include "kem.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/* Keys an item may begin with to be a key expression, in the order tried. */
constexpr const char *kKeys[] = {"Name=", "ST=",   "ST:",   "CN=",  "CN:",  "ID=",  "RA<",  "P=",
                                 "P<",    "P>",    "Lat=",  "Lat<", "Lat>", "Lon=", "Lon<", "Lon>",
                                 "Elev=", "Elev<", "Elev>", "WMO=", "WMO<", "WMO>"};

/* The record's texts, terminated, and the forms the selectors compare with. */
struct Station {
    const CTY_data *data;
    char name[sizeof(CTY_data::name) + 1];
    char state[sizeof(CTY_data::state) + 1];
    char region[sizeof(CTY_data::region) + 1];
    char id[sizeof(CTY_data::id) + 1];
    char state_region[8]; /* "%2s_%2s" */
    char number[16];      /* "%5.5d" */
};

/* The pieces of one item and the cursor of the pass over them. */
struct Pieces {
    int count;
    char **piece;
    int cursor;

    const char *at() const { return piece[cursor]; }
    bool has_more(int n) const { return cursor + n < count; }
};

template <size_t N> void copy_field(char (&out)[N], const char *field, size_t size) {
    size_t n = strnlen(field, std::min(size, N - 1));
    std::memcpy(out, field, n);
    out[n] = '\0';
}

Station describe(const CTY_data &data) {
    Station s{};
    s.data = &data;
    copy_field(s.name, data.name, sizeof data.name);
    copy_field(s.state, data.state, sizeof data.state);
    copy_field(s.region, data.region, sizeof data.region);
    copy_field(s.id, data.id, sizeof data.id);
    std::snprintf(s.state_region, sizeof s.state_region, "%2.2s_%2.2s", s.state, s.region);
    std::snprintf(s.number, sizeof s.number, "%5.5d", data.wmo);
    return s;
}

int length(const char *text) {
    return static_cast<int>(std::min(std::strlen(text), size_t{INT_MAX}));
}

bool has_key(const char *piece, const char *key) {
    return strnicmp(piece, key, length(key)) == 0;
}

/* A whole number read as by "%d"; false when there is none. */
bool read_int(const char *text, int &out) {
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text)
        return false;
    out = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
    return true;
}

/* A real number read as by "%f"; false when there is none. */
bool read_real(const char *text, float &out) {
    char *end = nullptr;
    float v = std::strtof(text, &end);
    if (end == text)
        return false;
    out = v;
    return true;
}

/* "<" and ">" include equality. */
bool compare(double value, char op, double limit) {
    switch (op) {
    case '=':
        return value == limit;
    case '<':
        return value <= limit;
    default:
        return value >= limit;
    }
}

/* ST= text: the state (2 characters) or state_region (5). */
bool state_matches(const char *text, const Station &s) {
    switch (std::strlen(text)) {
    case 2:
        return stricmp(text, s.state) == 0;
    case 5:
        return stricmp(text, s.state_region) == 0;
    default:
        return false;
    }
}

/* ------------------------------------------------------------------------
 * The tests of one pass, in the order they are applied
 * ---------------------------------------------------------------------- */

bool name_test(Pieces &p, const Station &s) {
    if (!has_key(p.at(), "Name="))
        return false;
    const char *text = p.at() + 5;
    return *text != '\0' && strnicmp(text, s.name, length(text)) == 0;
}

bool state_test(Pieces &p, const Station &s) {
    return has_key(p.at(), "ST=") && state_matches(p.at() + 3, s);
}

/* ST and CN as a piece of their own compare the next piece. */
bool state_piece_test(Pieces &p, const Station &s) {
    if (stricmp(p.at(), "ST") != 0 || !p.has_more(1))
        return false;
    ++p.cursor;
    return state_matches(p.at(), s);
}

bool region_test(Pieces &p, const Station &s) {
    return has_key(p.at(), "CN=") && stricmp(p.at() + 3, s.region) == 0;
}

bool region_piece_test(Pieces &p, const Station &s) {
    if (stricmp(p.at(), "CN") != 0 || !p.has_more(1))
        return false;
    ++p.cursor;
    return stricmp(p.at(), s.region) == 0;
}

bool id_test(Pieces &p, const Station &s) {
    return has_key(p.at(), "ID=") && stricmp(p.at() + 3, s.id) == 0;
}

/*
 * RA<lat:lon:range takes the next two pieces; they are passed over only
 * when all three numbers could be read.
 */
bool range_test(Pieces &p, const Station &s) {
    if (!has_key(p.at(), "RA<") || !p.has_more(2))
        return false;
    float lat = 0, lon = 0, range = 0;
    if (!read_real(p.at() + 3, lat) || !read_real(p.piece[p.cursor + 1], lon) ||
        !read_real(p.piece[p.cursor + 2], range))
        return false;
    p.cursor += 2;
    float dist = calc_earth_dist(lat, lon, s.data->lat, s.data->lon);
    return dist >= 0 && dist <= range;
}

/* Keys that compare one number of the record; the operator ends the key. */
struct NumberKey {
    const char *key;
    bool real; /* read as "%f", else "%d" */
    double (*field)(const CTY_data &d);
};

const NumberKey kNumberKeys[] = {
    {"P=", false, [](const CTY_data &d) { return double(d.prior); }},
    {"P<", false, [](const CTY_data &d) { return double(d.prior); }},
    {"P>", false, [](const CTY_data &d) { return double(d.prior); }},
    {"Lat=", true, [](const CTY_data &d) { return double(d.lat); }},
    {"Lat<", true, [](const CTY_data &d) { return double(d.lat); }},
    {"Lat>", true, [](const CTY_data &d) { return double(d.lat); }},
    {"Lon=", true, [](const CTY_data &d) { return double(d.lon); }},
    {"Lon<", true, [](const CTY_data &d) { return double(d.lon); }},
    {"Lon>", true, [](const CTY_data &d) { return double(d.lon); }},
    {"Elev=", true, [](const CTY_data &d) { return double(d.el); }},
    {"Elev<", true, [](const CTY_data &d) { return double(d.el); }},
    {"Elev>", true, [](const CTY_data &d) { return double(d.el); }},
    {"WMO<", false, [](const CTY_data &d) { return double(d.wmo); }},
    {"WMO>", false, [](const CTY_data &d) { return double(d.wmo); }},
};

/* Reals are read and compared in single precision, as they are stored. */
bool number_key_matches(const NumberKey &k, const char *text, const CTY_data &d) {
    char op = k.key[std::strlen(k.key) - 1];
    if (k.real) {
        float limit = 0;
        return read_real(text, limit) && compare(k.field(d), op, limit);
    }
    int limit = 0;
    return read_int(text, limit) && compare(k.field(d), op, limit);
}

bool number_test(Pieces &p, const Station &s) {
    bool mark = false;
    for (const NumberKey &k : kNumberKeys) {
        if (has_key(p.at(), k.key) && number_key_matches(k, p.at() + std::strlen(k.key), *s.data))
            mark = true;
    }
    return mark;
}

bool number_text_test(Pieces &p, const Station &s) {
    return has_key(p.at(), "WMO=") && stricmp(p.at() + 4, s.number) == 0;
}

using Test = bool (*)(Pieces &p, const Station &s);

/* Table order; WMO= is tried among the numeric keys, which exclude each other. */
constexpr Test kTests[] = {name_test,   state_test,        state_piece_test,
                           region_test, region_piece_test, id_test,
                           range_test,  number_test,       number_text_test};

/* One pass: every test on the piece under the (possibly moving) cursor. */
bool run_pass(Pieces &p, const Station &s) {
    bool mark = false;
    for (Test t : kTests) {
        if (t(p, s))
            mark = true;
    }
    return mark;
}

bool pieces_match(Pieces p, const Station &s) {
    bool mark = false;
    for (p.cursor = 0; p.cursor < p.count; ++p.cursor) {
        mark = run_pass(p, s);
        if (!mark)
            break;
    }
    return mark;
}

/* The whole item as a station number, an identifier or a name prefix. */
bool plain_match(const char *item, const Station &s) {
    int len = length(item);
    if (len == 5 && std::strcmp(item, s.number) == 0)
        return true;
    if (stricmp(item, s.id) == 0)
        return true;
    return len > 4 && strnicmp(item, s.name, len) == 0;
}

bool item_matches(const char *item, const Station &s) {
    int count = 0;
    char **pieces = nullptr;
    bool mark = false;
    if (parse_string(item, ':', &count, &pieces) == 0) {
        mark = pieces_match(Pieces{count, pieces, 0}, s);
        free_parsed_array(count, pieces);
    }
    return mark || plain_match(item, s);
}

bool begins_with_key(const char *item) {
    for (const char *key : kKeys) {
        if (has_key(item, key))
            return true;
    }
    return false;
}

} // namespace

int CTY_data_cmp(int numid, char **ids, const CTY_data *data) {
    if (numid <= 0 || ids == nullptr)
        return 1;
    if (data == nullptr)
        return -1;
    Station s = describe(*data);
    for (int i = 0; i < numid; ++i) {
        if (ids[i] != nullptr && item_matches(ids[i], s))
            return i;
    }
    return -1;
}

int CTY_id_cmp(const char *ids, const char *id) {
    if (ids == nullptr)
        return 0;
    return begins_with_key(ids) || (id != nullptr && stricmp(ids, id) == 0) ? 1 : 0;
}

int CTY_ids_cmp(int numid, char **ids, const char *id) {
    if (numid <= 0 || ids == nullptr)
        return 1;
    for (int i = 0; i < numid; ++i) {
        if (CTY_id_cmp(ids[i], id) == 1)
            return 1;
    }
    return 0;
}
