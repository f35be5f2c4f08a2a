/*
 * cty_read.cpp - station record and database file (CTY_).
 *
 * The station database is a text file of blank-separated station records.
 * This module opens it (directly, or as named by the city_file and
 * file_path resources), reads it record by record into CTY_data and looks
 * up single stations.
 *
 * State: the one open database stream and the file type given when it was
 * opened (opening another database closes it first).
 * Readers answer -1 on failure; lookups answer 1 or 0.  The only messages
 * are the warnings of CTY_open_file about a missing file or a path too
 * long for its buffer.
 *
 * A record is read as one whitespace-driven scan that may run across line
 * ends, field by field like "%20s %2s %2s %9s %s %f %f %f %d %d\n": a text
 * longer than its field leaves the rest to the next field, a missing field
 * is taken from the next line, and the scan stops at the first field that
 * cannot be read.  Every field is bounded; the priority field keeps its
 * first 4 characters and drops the rest of its word.
 */
#include "kem.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr int kFields = 10;       /* fields of a whole record */
constexpr int kPriorWidth = 4;    /* characters kept of the priority field */
constexpr int kNumberMax = 64;    /* longest numeric text accepted */
constexpr long kRecordBytes = 59; /* assumed size of one record on disk */
constexpr long kMaxStations = 4000;

struct Database {
    FILE *stream = nullptr; /* the open database, or none */
    int type = 0;           /* file type given at open */
};

Database db;

/* ------------------------------------------------------------------------
 * The open stream
 * ---------------------------------------------------------------------- */

const char *access_mode(int f_access) {
    switch (f_access) {
    case 0:
        return "r";
    case 1:
        return "w";
    default:
        return nullptr;
    }
}

void close_database() {
    if (db.stream != nullptr)
        FILE_close(db.stream);
    db.stream = nullptr;
}

/* ------------------------------------------------------------------------
 * Field scanning
 * ---------------------------------------------------------------------- */

enum class Scan { ok, mismatch, end };

bool is_blank(int c) {
    return c != EOF && std::isspace(c);
}

/* Skips white space; answers the next character (left unread) or EOF. */
int skip_space(FILE *in) {
    int c;
    while (is_blank(c = getc_unlocked(in))) {
    }
    if (c != EOF)
        ungetc(c, in);
    return c;
}

/* Like "%Ns": up to `width` non-blank bytes into `out` (width+1 bytes). */
Scan scan_word(FILE *in, char *out, int width) {
    if (skip_space(in) == EOF)
        return Scan::end;
    int n = 0;
    int c;
    while (n < width && (c = getc_unlocked(in)) != EOF) {
        if (is_blank(c)) {
            ungetc(c, in);
            break;
        }
        out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
    return Scan::ok;
}

void skip_word(FILE *in) {
    int c;
    while ((c = getc_unlocked(in)) != EOF && !is_blank(c)) {
    }
    if (c != EOF)
        ungetc(c, in);
}

/* The text of a number being scanned; too long a text is no number. */
struct NumberText {
    char buf[kNumberMax + 1] = "";
    int len = 0;
    bool overflow = false;

    void add(int c) {
        if (len < kNumberMax)
            buf[len++] = static_cast<char>(c);
        else
            overflow = true;
        buf[len] = '\0';
    }
};

/* Takes one character of `set`, if it is next. */
bool take_one(FILE *in, NumberText &t, const char *set) {
    int c = getc_unlocked(in);
    if (c != EOF && c != '\0' && std::strchr(set, c) != nullptr) {
        t.add(c);
        return true;
    }
    if (c != EOF)
        ungetc(c, in);
    return false;
}

int take_digits(FILE *in, NumberText &t) {
    int n = 0;
    int c;
    while ((c = getc_unlocked(in)) >= '0' && c <= '9') {
        t.add(c);
        ++n;
    }
    if (c != EOF)
        ungetc(c, in);
    return n;
}

/* Like "%d"; a value beyond the range of int is held at its limit. */
Scan scan_int(FILE *in, int &out) {
    if (skip_space(in) == EOF)
        return Scan::end;
    NumberText t;
    take_one(in, t, "+-");
    if (take_digits(in, t) == 0 || t.overflow)
        return Scan::mismatch;
    long v = std::strtol(t.buf, nullptr, 10);
    out = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
    return Scan::ok;
}

/* Like "%f" for decimal numbers with an optional exponent. */
Scan scan_real(FILE *in, float &out) {
    if (skip_space(in) == EOF)
        return Scan::end;
    NumberText t;
    take_one(in, t, "+-");
    int digits = take_digits(in, t);
    if (take_one(in, t, "."))
        digits += take_digits(in, t);
    if (digits == 0)
        return Scan::mismatch;
    if (take_one(in, t, "eE")) {
        take_one(in, t, "+-");
        if (take_digits(in, t) == 0)
            return Scan::mismatch;
    }
    if (t.overflow)
        return Scan::mismatch;
    out = std::strtof(t.buf, nullptr);
    return Scan::ok;
}

/* The priority field: its first characters, the rest of its word dropped. */
Scan scan_prior(FILE *in, char *prior) {
    Scan s = scan_word(in, prior, kPriorWidth);
    if (s == Scan::ok)
        skip_word(in);
    return s;
}

Scan scan_field(FILE *in, int field, CTY_data &rec, char *prior) {
    switch (field) {
    case 0:
        return scan_word(in, rec.name, sizeof rec.name - 1);
    case 1:
        return scan_word(in, rec.state, sizeof rec.state - 1);
    case 2:
        return scan_word(in, rec.region, sizeof rec.region - 1);
    case 3:
        return scan_word(in, rec.id, sizeof rec.id - 1);
    case 4:
        return scan_prior(in, prior);
    case 5:
        return scan_real(in, rec.lat);
    case 6:
        return scan_real(in, rec.lon);
    case 7:
        return scan_real(in, rec.el);
    case 8:
        return scan_int(in, rec.wmo);
    default:
        return scan_int(in, rec.num);
    }
}

/*
 * Scans the fields of one record in file order until one is missing or
 * unreadable.  Answers the number read, or -1 when the input ended before
 * the first.  After a whole record the white space that follows it (blank
 * lines included) is skipped.
 */
int scan_record(FILE *in, CTY_data &rec, char *prior) {
    for (int field = 0; field < kFields; ++field) {
        Scan s = scan_field(in, field, rec, prior);
        if (s == Scan::end && field == 0)
            return -1;
        if (s != Scan::ok)
            return field;
    }
    skip_space(in);
    return kFields;
}

/* ------------------------------------------------------------------------
 * Record decoding
 * ---------------------------------------------------------------------- */

/* What a record shows for the fields that a short read did not reach. */
CTY_data empty_record() {
    CTY_data rec{};
    rec.prior = KEM_MISSING;
    rec.mos = ' ';
    rec.ua = ' ';
    rec.lat = KEM_MISSING;
    rec.lon = KEM_MISSING;
    rec.el = KEM_MISSING;
    rec.wmo = KEM_MISSING;
    rec.num = 0;
    return rec;
}

/*
 * An optional '*' (mos), one digit (the priority), an optional '*' (ua).
 * Without a digit in its place the priority stays missing; nothing beyond
 * the field is looked at.
 */
void decode_prior(std::string_view field, CTY_data &rec) {
    size_t at = 0;
    if (!field.empty() && field[0] == '*') {
        rec.mos = '*';
        at = 1;
    }
    if (at < field.size() && field[at] >= '0' && field[at] <= '9')
        rec.prior = field[at] - '0';
    if (at + 1 < field.size() && field[at + 1] == '*')
        rec.ua = '*';
}

/* ------------------------------------------------------------------------
 * Opening by resources and single-station lookup
 * ---------------------------------------------------------------------- */

/*
 * The database file name: the city_file resource when it holds a value,
 * else the caller's name, else "sao.cty".  Null when the resource is
 * "none", which switches the database off.
 */
const char *database_name(const char *city_file) {
    const char *res = RES_get("city_file");
    if (res != nullptr && *res != '\0')
        return stricmp(res, "none") == 0 ? nullptr : res;
    return city_file != nullptr ? city_file : "sao.cty";
}

int station_estimate(const char *path) {
    long size = FILE_size(path);
    if (size <= 0)
        return 0;
    return static_cast<int>(std::min(size / kRecordBytes, kMaxStations));
}

bool record_matches(const CTY_data &rec, const char *id) {
    char number[16];
    std::snprintf(number, sizeof number, "%05d", rec.wmo);
    return stricmp(id, rec.id) == 0 || stricmp(id, rec.name) == 0 || std::strcmp(id, number) == 0;
}

bool search_database(int city_fd, const char *id, CTY_data &rec) {
    CTY_rewind(city_fd);
    while (CTY_read(city_fd, &rec) > 0) {
        if (record_matches(rec, id))
            return true;
    }
    return false;
}

} // namespace

/* ------------------------------------------------------------------------
 * The database file
 * ---------------------------------------------------------------------- */

int CTY_open(const char *filename, int f_access, int f_type) {
    const char *mode = access_mode(f_access);
    if (mode == nullptr || filename == nullptr)
        return -1;
    close_database();
    db.stream = FILE_open(filename, mode);
    if (db.stream == nullptr)
        return -1;
    db.type = f_type;
    return fileno(db.stream);
}

int CTY_getinfo(int city_fd, CTY_info *info) {
    if (CTY_rewind(city_fd) < 0)
        return -1;
    if (info != nullptr)
        info->dtype = db.type;
    return 0;
}

int CTY_rewind(int) {
    if (db.stream == nullptr)
        return -1;
    rewind(db.stream);
    return 0;
}

int CTY_close(int) {
    if (db.stream == nullptr)
        return -1;
    close_database();
    return 0;
}

int CTY_read(int, CTY_data *city) {
    if (db.stream == nullptr || city == nullptr || feof(db.stream))
        return -1;
    *city = empty_record();
    char prior[kPriorWidth + 1] = "";
    int count = scan_record(db.stream, *city, prior);
    if (count > 4)
        decode_prior(prior, *city);
    if (city->el > 9000)
        city->el = KEM_MISSING;
    return count;
}

int CTY_data_init(CTY_data *data) {
    if (data == nullptr)
        return 0;
    data->name[0] = '\0';
    data->id[0] = '\0';
    data->wmo = KEM_MISSING;
    data->lat = KEM_MISSING;
    data->lon = KEM_MISSING;
    data->el = KEM_MISSING;
    return 0;
}

int CTY_open_file(const char *city_file, int *num_stats) {
    const char *name = database_name(city_file);
    if (name == nullptr)
        return -1;
    char path[KEM_PATH_MAX] = "";
    bool fits = FILE_add_path(RES_get("file_path"), name, path) != nullptr;
    if (num_stats != nullptr)
        *num_stats = fits ? station_estimate(path) : 0;
    if (!fits) {
        MESS_print(M_warn, "CTY_open_file: Database file name too long: %s...\n", path);
        return -1;
    }
    int fd = CTY_open(path, 0, 0);
    if (fd < 0)
        MESS_print(M_warn, "CTY_open_file: Database file not found: %s\n", path);
    return fd;
}

/* ------------------------------------------------------------------------
 * Single-station lookup
 * ---------------------------------------------------------------------- */

int CTY_get(const char *city_file, const char *id, CTY_data *data) {
    if (id == nullptr)
        return 0;
    int num_stats = 0;
    int fd = CTY_open_file(city_file, &num_stats);
    if (fd < 0)
        return 0;
    MESS_print(M_mess, "Searching the city database file for: %s ...\n", id);
    CTY_data scratch;
    bool found = search_database(fd, id, data != nullptr ? *data : scratch);
    CTY_close(fd);
    return found ? 1 : 0;
}

int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon) {
    CTY_data rec;
    if (CTY_get(city_file, id, &rec) != 1)
        return 0;
    if (lat != nullptr)
        *lat = rec.lat;
    if (lon != nullptr)
        *lon = rec.lon;
    return 1;
}

int CTY_get_prior(void) {
    int prior = 10;
    RES_getval("stat_prior", &prior, CV_int);
    return prior;
}
