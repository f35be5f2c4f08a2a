/*
 * raw_table.cpp - the suite's raw location tables, read row by row and
 * selected by one value.
 *
 * A table is three header lines, a line of column names, then one row of
 * whitespace-separated fields per line, read in pieces of 160 characters
 * as the line readers read them.  Limits: 25 columns a line; column names
 * of 29 characters and fields of 119 are kept, longer ones cut.
 *
 * The value that selects rows is one of: "Column=value" (some column of
 * that name holds the value, in any case; keys of more than 9 characters
 * name no column); a four-character identifier (the ID column); any other
 * text, the ID or a prefix of the row's "Name_ST" (cut at 49 characters);
 * or "RA<lat:lon:km", the rows whose Lat and Lon lie within the radius by
 * the great-circle distance the station selection uses.
 *
 * State: each table owns its stream and its rows.  Failure: RAW_open
 * answers null for a file that cannot be opened, and prints nothing; a
 * value that cannot be read selects nothing, and RAW_problem tells why.
 */
#include "cty_select.h"
#include "kem.h"
#include "text.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t max_columns = 25;
constexpr size_t max_col_name = 29;
constexpr size_t max_field = 119;
constexpr size_t max_value_key = 9;
constexpr size_t max_name_state = 49;

using Row = std::vector<std::string>;

/* How the value selects rows. */
enum class By { all, key_value, id, id_or_prefix, range, nothing };

/* A field that is a finite number as a whole, not the missing value. */
bool whole_number(const char *text, float &out) {
    char *end = nullptr;
    out = std::strtof(text, &end);
    return end != text && *end == '\0' && std::isfinite(out) && out != KEM_MISSING;
}

} // namespace

struct RAW_table {
    FILE *in = nullptr;
    Row columns;
    int name_col = -1, st_col = -1, id_col = -1; /* the last column of each name */
    int lat_col = -1, lon_col = -1;
    bool header = false; /* the four header lines were there */
    Row row;

    By by = By::all;
    std::string value;
    std::string key;   /* of Column=value */
    std::string wanted; /* ... its value */
    /* A plain value stands in the line of every row it matches, as the
       identifier or as the start of "Name_ST" (the part before its first
       '_'), in either case: other lines are not split. */
    std::string stands;
    float lat = 0, lon = 0, km = 0; /* of RA< */
    bool centre = false;
    double dist = -1; /* of the current row */
    std::string problem;

    const char *field(int col) const {
        return col >= 0 && col < static_cast<int>(row.size()) ? row[col].c_str() : nullptr;
    }
    void read_header();
    void set_value(const char *v);
    bool matches();
    bool position(float &la, float &lo) const;
};

/* ------------------------------------------------------------------------
 * The header
 * ---------------------------------------------------------------------- */

void RAW_table::read_header() {
    char line[KEM_LINE_MAX + 1];
    for (int i = 0; i < 3; i++)
        if (fgetline(in, line) < 0)
            return;
    if (fgetnline(in, line, KEM_LINE_MAX) < 0)
        return;
    header = true;
    split_words(line, max_columns, max_col_name, columns);
    for (int i = 0; i < static_cast<int>(columns.size()); i++) {
        const char *name = columns[i].c_str();
        int *col = stricmp(name, "Name") == 0  ? &name_col
                   : stricmp(name, "ST") == 0  ? &st_col
                   : stricmp(name, "ID") == 0  ? &id_col
                   : stricmp(name, "Lat") == 0 ? &lat_col
                   : stricmp(name, "Lon") == 0 ? &lon_col
                                               : nullptr;
        if (col != nullptr)
            *col = i;
    }
}

RAW_table *RAW_open(const char *path) {
    FILE *in = path != nullptr ? FILE_open(path, "r") : nullptr;
    if (in == nullptr)
        return nullptr;
    try {
        auto *t = new RAW_table;
        t->in = in;
        t->read_header();
        return t;
    } catch (...) {
        FILE_close(in);
        return nullptr;
    }
}

int RAW_column_count(const RAW_table *t) {
    return t != nullptr ? static_cast<int>(t->columns.size()) : 0;
}

const char *RAW_column_name(const RAW_table *t, int column) {
    if (t == nullptr || column < 0 || column >= static_cast<int>(t->columns.size()))
        return nullptr;
    return t->columns[column].c_str();
}

int RAW_close(RAW_table *t) {
    if (t == nullptr)
        return 0;
    FILE_close(t->in);
    delete t;
    return 0;
}

/* ------------------------------------------------------------------------
 * The selecting value
 * ---------------------------------------------------------------------- */

void RAW_table::set_value(const char *v) {
    value = v;
    if (strnicmp(v, "RA<", 3) == 0) {
        std::vector<cty_select::Piece> pieces = cty_select::read_pieces(v);
        problem = cty_select::item_problem(pieces);
        if (problem.empty() && pieces.size() != 3)
            problem = "a table takes RA<lat:lon:km alone";
        if (problem.empty() && (lat_col < 0 || lon_col < 0))
            problem = "the table has no Lat and Lon columns";
        by = problem.empty() ? By::range : By::nothing;
        if (by == By::range) {
            lat = static_cast<float>(pieces[0].after);
            lon = pieces[1].whole;
            km = pieces[2].whole;
            centre = true;
        }
        return;
    }
    if (const char *eq = strchr(v, '=')) {
        by = By::key_value;
        key.assign(v, eq);
        wanted = eq + 1;
        if (key.size() > max_value_key)
            by = By::nothing;
        return;
    }
    by = strlen(v) == 4 ? By::id : By::id_or_prefix;
    stands.assign(v, strcspn(v, "_"));
}

int RAW_select(RAW_table *t, const char *value) {
    if (t == nullptr)
        return -1;
    try {
        t->problem.clear();
        t->centre = false;
        t->by = By::all;
        if (value != nullptr)
            t->set_value(value);
    } catch (...) {
        t->by = By::nothing;
    }
    return t->problem.empty() ? 0 : -1;
}

const char *RAW_problem(const RAW_table *t) {
    return t != nullptr && !t->problem.empty() ? t->problem.c_str() : nullptr;
}

int RAW_centre(const RAW_table *t, float *lat, float *lon) {
    if (t == nullptr || !t->centre)
        return 0;
    if (lat != nullptr)
        *lat = t->lat;
    if (lon != nullptr)
        *lon = t->lon;
    return 1;
}

/* ------------------------------------------------------------------------
 * Rows
 * ---------------------------------------------------------------------- */

bool RAW_table::position(float &la, float &lo) const {
    const char *a = field(lat_col), *o = field(lon_col);
    return a != nullptr && o != nullptr && whole_number(a, la) && whole_number(o, lo);
}

bool RAW_table::matches() {
    switch (by) {
    case By::all:
        return true;
    case By::nothing:
        return false;
    case By::key_value:
        for (size_t i = 0; i < columns.size() && i < row.size(); i++)
            if (stricmp(columns[i].c_str(), key.c_str()) == 0 &&
                stricmp(row[i].c_str(), wanted.c_str()) == 0)
                return true;
        return false;
    case By::range: {
        float la = 0, lo = 0;
        if (!position(la, lo))
            return false;
        float d = calc_earth_dist(lat, lon, la, lo);
        dist = d;
        return d >= 0 && d <= km;
    }
    case By::id:
    case By::id_or_prefix:
        break;
    }
    const char *id = field(id_col);
    if (id != nullptr && stricmp(value.c_str(), id) == 0)
        return true;
    if (by == By::id)
        return false;
    const char *name = field(name_col), *state = field(st_col);
    if (name == nullptr || state == nullptr)
        return false;
    std::string formed = std::string(name) + "_" + state;
    if (formed.size() > max_name_state)
        formed.resize(max_name_state);
    return value.size() <= formed.size() &&
           (value.empty() ||
            strnicmp(value.c_str(), formed.c_str(), static_cast<int>(value.size())) == 0);
}

int RAW_next(RAW_table *t) {
    if (t == nullptr || !t->header)
        return -1;
    char line[KEM_LINE_MAX + 1];
    try {
        while (fgetnline(t->in, line, KEM_LINE_MAX) >= 0) {
            if (!t->stands.empty() && !strcasestr(line, t->stands.c_str()))
                continue;
            split_words(line, max_columns, max_field, t->row);
            t->dist = -1;
            if (t->matches())
                return static_cast<int>(t->row.size());
        }
    } catch (...) {
    }
    t->row.clear();
    return -1;
}

const char *RAW_field(const RAW_table *t, int i) {
    return t != nullptr ? t->field(i) : nullptr;
}

double RAW_dist(const RAW_table *t) {
    return t != nullptr && t->centre ? t->dist : -1;
}

int RAW_position(const RAW_table *t, float *lat, float *lon) {
    float la = 0, lo = 0;
    if (t == nullptr || !t->position(la, lo))
        return 0;
    if (lat != nullptr)
        *lat = la;
    if (lon != nullptr)
        *lon = lo;
    return 1;
}
