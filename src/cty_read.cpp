/*
 * cty_read.cpp - station record and database file (CTY_).
 *
 * The station database is a text file of blank-separated station records.
 * This module opens it (directly, or as named by the city_file and
 * file_path resources), reads it record by record into CTY_data and looks
 * up single stations.
 *
 * State: the one open database stream, the block of it read ahead and the
 * file type given when it was opened (opening another database closes it
 * first).  Readers answer -1 on failure; lookups answer 1 or 0.  The only
 * messages are the warnings of CTY_open_file about a missing file or a
 * path too long for its buffer.
 *
 * A record is read as one whitespace-driven scan that may run across line
 * ends, field by field like "%20s %2s %2s %9s %s %f %f %f %d %d\n": a text
 * longer than its field leaves the rest to the next field, a missing field
 * is taken from the next line, and the scan stops at the first field that
 * cannot be read.  Every field is bounded; the priority field keeps its
 * first 4 characters and drops the rest of its word.
 *
 * The file is read in large blocks.  A line of the block that holds
 * exactly one whole record is split and decoded at once (cty_line.cpp);
 * anything else (a record across lines, a field too long, a number that
 * stops inside its word) goes through the field-by-field scan, which is
 * the definition of what a record holds.  Both give the same record and
 * leave the file at the same place.
 */
#include "cty.h"
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace {

constexpr int kPriorWidth = 4;    /* characters kept of the priority field */
constexpr long kRecordBytes = 59; /* assumed size of one record on disk */
constexpr long kMaxStations = 4000;
constexpr size_t kBlock = 64 * 1024; /* bytes read at a time */

/* ------------------------------------------------------------------------
 * The database file
 * ---------------------------------------------------------------------- */

/* The bytes of the open database read ahead of the scan.  Once a read
   finds the end (or fails) nothing more is read until the file is rewound;
   `at_end` is what feof would answer: the scan asked for a byte past it. */
struct Source {
    int fd = -1;
    size_t pos = 0; /* next unread byte */
    size_t len = 0; /* bytes held */
    bool eof = false;
    bool at_end = false;
    /* A '\n' always stands behind the bytes held, and room behind that
       for the rest of a 32-byte piece read across it. */
    char buf[kBlock + 1 + 32];

    /* Keeps the unread bytes, moved to the front, and reads more behind
       them; false when nothing more came. */
    bool fill() {
        if (eof)
            return false;
        std::memmove(buf, buf + pos, len - pos);
        len -= pos;
        pos = 0;
        buf[len] = '\n';
        if (len == kBlock)
            return false;
        ssize_t n;
        do
            n = read(fd, buf + len, kBlock - len);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            eof = true;
            return false;
        }
        len += static_cast<size_t>(n);
        buf[len] = '\n';
        return true;
    }
    int get() {
        if (pos == len && !fill()) {
            at_end = true;
            return EOF;
        }
        return static_cast<unsigned char>(buf[pos++]);
    }
    /* Puts back the byte that get() just answered. */
    void unget() { --pos; }
    void reset() {
        pos = len = 0;
        eof = at_end = false;
    }
};

struct Database {
    FILE *stream = nullptr; /* the open database, or none */
    int type = 0;           /* file type given at open */
    Source in;
};

Database db;

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
    db.in.reset();
}

} // namespace

int CTY_open(const char *filename, int f_access, int f_type) {
    const char *mode = access_mode(f_access);
    if (mode == nullptr || filename == nullptr)
        return -1;
    close_database();
    db.stream = FILE_open(filename, mode);
    if (db.stream == nullptr)
        return -1;
    db.type = f_type;
    db.in.fd = fileno(db.stream);
    return db.in.fd;
}

int CTY_getinfo(int city_fd, CTY_info *info) {
    if (CTY_rewind(city_fd) < 0)
        return -1;
    if (info != nullptr)
        info->dtype = db.type;
    return 0;
}

/* A stream that cannot seek (a pipe) keeps what was read ahead. */
int CTY_rewind(int) {
    if (db.stream == nullptr)
        return -1;
    if (lseek(db.in.fd, 0, SEEK_SET) == 0)
        db.in.reset();
    else
        db.in.eof = db.in.at_end = false;
    return 0;
}

int CTY_close(int) {
    if (db.stream == nullptr)
        return -1;
    close_database();
    return 0;
}

/* ------------------------------------------------------------------------
 * Field scanning
 * ---------------------------------------------------------------------- */

namespace {

enum class Scan { ok, mismatch, end };

int skip_more_space(Source &in) {
    while (true) {
        while (in.pos < in.len && is_blank(static_cast<unsigned char>(in.buf[in.pos])))
            ++in.pos;
        if (in.pos < in.len)
            return static_cast<unsigned char>(in.buf[in.pos]);
        if (!in.fill()) {
            in.at_end = true;
            return EOF;
        }
    }
}

/* Skips white space; answers the next character (left unread) or EOF. */
inline int skip_space(Source &in) {
    if (in.pos < in.len && !is_blank(static_cast<unsigned char>(in.buf[in.pos])))
        return static_cast<unsigned char>(in.buf[in.pos]);
    return skip_more_space(in);
}

/* Like "%Ns": up to `width` non-blank bytes into `out` (width+1 bytes). */
Scan scan_word(Source &in, char *out, int width) {
    if (skip_space(in) == EOF)
        return Scan::end;
    int n = 0;
    int c;
    while (n < width && (c = in.get()) != EOF) {
        if (is_blank(c)) {
            in.unget();
            break;
        }
        out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
    return Scan::ok;
}

void skip_word(Source &in) {
    int c;
    while ((c = in.get()) != EOF && !is_blank(c)) {
    }
    if (c != EOF)
        in.unget();
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
bool take_one(Source &in, NumberText &t, const char *set) {
    int c = in.get();
    if (c != EOF && c != '\0' && std::strchr(set, c) != nullptr) {
        t.add(c);
        return true;
    }
    if (c != EOF)
        in.unget();
    return false;
}

int take_digits(Source &in, NumberText &t) {
    int n = 0;
    int c;
    while (is_digit(c = in.get())) {
        t.add(c);
        ++n;
    }
    if (c != EOF)
        in.unget();
    return n;
}

/* Like "%d"; a value beyond the range of int is held at its limit. */
Scan scan_int(Source &in, int &out) {
    if (skip_space(in) == EOF)
        return Scan::end;
    NumberText t;
    take_one(in, t, "+-");
    if (take_digits(in, t) == 0 || t.overflow)
        return Scan::mismatch;
    out = cty_to_int({t.buf, static_cast<size_t>(t.len)});
    return Scan::ok;
}

/* Like "%f" for decimal numbers with an optional exponent. */
Scan scan_real(Source &in, float &out) {
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
    out = cty_to_real({t.buf, static_cast<size_t>(t.len)});
    return Scan::ok;
}

/* The priority field: its first characters, the rest of its word dropped. */
Scan scan_prior(Source &in, char *prior) {
    Scan s = scan_word(in, prior, kPriorWidth);
    if (s == Scan::ok)
        skip_word(in);
    return s;
}

Scan scan_field(Source &in, int field, CTY_data &rec, char *prior) {
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
int scan_record(Source &in, CTY_data &rec, char *prior) {
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
 * Lines held whole
 * ---------------------------------------------------------------------- */

template <size_t N> void copy_word(char (&out)[N], std::string_view w) {
    size_t n = std::min(w.size(), N - 1);
    std::memcpy(out, w.data(), n);
    out[n] = '\0';
}

void decode_texts(const Line &line, CTY_data &rec, char *prior) {
    copy_word(rec.name, line.word(0));
    copy_word(rec.state, line.word(1));
    copy_word(rec.region, line.word(2));
    copy_word(rec.id, line.word(3));
    std::string_view w = line.word(4);
    size_t n = std::min(w.size(), static_cast<size_t>(kPriorWidth));
    std::memcpy(prior, w.data(), n);
    prior[n] = '\0';
}

void decode_numbers(const Line &line, CTY_data &rec) {
    rec.lat = cty_to_real(line.word(5));
    rec.lon = cty_to_real(line.word(6));
    rec.el = cty_to_real(line.word(7));
    rec.wmo = cty_to_int(line.word(8));
    rec.num = cty_to_int(line.word(9));
}

/*
 * Splits the line under the scan when it is held whole and regular: ended
 * by its newline, or by the end of the file, where the '\n' behind the
 * bytes held stands in for one.  False when the field scan must read it.
 * A line that runs to the end of the bytes held is looked at again once
 * more are read; a newline already held is never waited past.
 */
bool split_held_line(Source &in, Line &line) {
    bool regular = cty_split_line(in.buf + in.pos, line);
    auto at_edge = [&in](const Line &l) {
        return l.len >= 0 && in.pos + static_cast<size_t>(l.len) == in.len && !in.eof;
    };
    if (at_edge(line)) {
        in.fill(); /* moves the line to the front */
        regular = cty_split_line(in.buf + in.pos, line);
        if (at_edge(line))
            return false;
    }
    return regular;
}

/* Leaves the scan after the line and the white space that follows it, as
   the field scan does after a whole record. */
void pass_line(Source &in, const Line &line) {
    in.pos += static_cast<size_t>(line.len);
    if (in.pos < in.len)
        ++in.pos; /* the '\n' */
    skip_space(in);
}

/* ------------------------------------------------------------------------
 * Record decoding
 * ---------------------------------------------------------------------- */

/* Could the selection take the record of these words?  Answered from the
   name, state and identifier before anything is copied. */
bool may_select(const CTY_select *sel, const Line &line) {
    auto size = [&line](int i) { return static_cast<int>(line.at[2 * i + 1] - line.at[2 * i]); };
    return CTY_select_words(sel, line.p + line.at[0], size(0), line.p + line.at[2], size(1),
                            line.p + line.at[6], size(3)) != 0;
}

/* What a record shows for the fields that a short read did not reach. */
CTY_data empty_record() {
    CTY_data rec{};
    CTY_data_init(&rec);
    rec.prior = KEM_MISSING;
    rec.mos = rec.ua = ' ';
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
    if (at < field.size() && is_digit(field[at]))
        rec.prior = field[at] - '0';
    if (at + 1 < field.size() && field[at + 1] == '*')
        rec.ua = '*';
}

void finish_record(CTY_data &rec, int count, const char *prior) {
    if (count > 4)
        decode_prior(prior, rec);
    if (rec.el > 9000)
        rec.el = KEM_MISSING;
}

/*
 * Reads the next record; with a selection, regular lines whose texts no
 * item can select are passed over before their numbers are converted.
 */
int read_record(CTY_data &rec, const CTY_select *sel) {
    Source &in = db.in;
    Line line;
    while (true) {
        if (in.at_end)
            return -1;
        if (skip_space(in) == EOF) {
            rec = empty_record();
            return -1;
        }
        char prior[kPriorWidth + 1] = "";
        if (!split_held_line(in, line)) {
            rec = empty_record();
            int count = scan_record(in, rec, prior);
            finish_record(rec, count, prior);
            return count;
        }
        if (sel != nullptr && !may_select(sel, line)) {
            pass_line(in, line);
            continue;
        }
        rec = empty_record();
        decode_texts(line, rec, prior);
        if (sel != nullptr && CTY_select_texts(sel, &rec) == 0) {
            pass_line(in, line);
            continue;
        }
        decode_numbers(line, rec);
        pass_line(in, line);
        finish_record(rec, kFields, prior);
        return kFields;
    }
}

} // namespace

int CTY_read(int, CTY_data *city) {
    if (db.stream == nullptr || city == nullptr)
        return -1;
    return read_record(*city, nullptr);
}

int CTY_read_select(int, CTY_data *city, const CTY_select *sel) {
    if (db.stream == nullptr || city == nullptr)
        return -1;
    return read_record(*city, sel);
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

/* ------------------------------------------------------------------------
 * Opening by resources
 * ---------------------------------------------------------------------- */

namespace {

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

} // namespace

int CTY_open_path(const char *path, int usable, int *num_stats) {
    if (path == nullptr)
        path = "";
    if (num_stats != nullptr)
        *num_stats = usable ? station_estimate(path) : 0;
    if (!usable) {
        MESS_print(M_warn, "CTY_open_file: Database file name too long: %s...\n", path);
        return -1;
    }
    int fd = CTY_open(path, 0, 0);
    if (fd < 0)
        MESS_print(M_warn, "CTY_open_file: Database file not found: %s\n", path);
    return fd;
}

int CTY_open_file(const char *city_file, int *num_stats) {
    const char *name = database_name(city_file);
    if (name == nullptr)
        return -1;
    char path[KEM_PATH_MAX] = "";
    bool fits = FILE_add_path(RES_get("file_path"), name, path) != nullptr;
    return CTY_open_path(path, fits ? 1 : 0, num_stats);
}

/* ------------------------------------------------------------------------
 * Single-station lookup
 * ---------------------------------------------------------------------- */

namespace {

bool record_matches(const CTY_data &rec, const char *id) {
    char number[16];
    *station_number(number, rec.wmo) = '\0';
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
