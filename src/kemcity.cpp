/*
 * kemcity.cpp - the CITY DETERMINATION PROGRAM.
 *
 * Looks up stations, cities, counties, states, forecast zones, upper-air
 * sites and radars.  The input is either the station database (records
 * matched by the selection expressions of the library) or one of the raw
 * location tables: three header lines, a line of column names, then one
 * row of whitespace-separated fields per line.  Every kept record is
 * printed on one line, its values as `print` messages and, at the out1
 * message level, each preceded by its column name and "=".
 *
 * Flags of the `parameter` resource: "first" prints the first kept record
 * only; "nearest" prints the kept stations nearest first, by their
 * distance from the centre of the first RA< selection value (the "Dist"
 * column); "json" prints every record as one JSON object on a line.
 * Other flags are ignored.
 *
 * When messages go only to standard output, records are gathered in one
 * buffer written in 64 KiB blocks; the first write that fails stops the
 * output, and its cause is reported on standard error at the end.
 *
 * Exit status: 0, 10 when the input file cannot be opened, or 1 when the
 * output could not be written (a full disk, a closed standard output).
 */
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

const res_type keyed_options[] = {RES_help,      RES_batch,      RES_message, RES_file_path,
                                  RES_city_file, RES_stat_prior, RES_input,   RES_output,
                                  RES_parameter, RES_null};
const res_type positional_options[] = {RES_values, RES_null};

/* Limits of a raw table: columns per line, and the longest column name,
   field, "=" key and formed name_state key that are kept. */
constexpr size_t max_columns = 25;
constexpr size_t max_col_name = 29;
constexpr size_t max_field = 119;
constexpr size_t max_value_key = 9;
constexpr size_t max_name_state = 49;

/* Exit statuses besides 0. */
constexpr int status_not_found = 10;   /* the input file cannot be opened */
constexpr int status_write_failed = 1; /* the output could not be written */

/* Items of a list resource, freed when the holder goes out of scope. */
class Items {
  public:
    explicit Items(const char *resource) { RES_getvals(resource, &count_, &items_); }
    ~Items() { free_parsed_array(count_, items_); }
    Items(const Items &) = delete;
    Items &operator=(const Items &) = delete;

    int count() const { return count_; }
    char **items() const { return items_; }
    const char *operator[](int i) const { return items_[i]; }

    bool contains(const char *word) const {
        for (int i = 0; i < count_; i++)
            if (stricmp(items_[i], word) == 0)
                return true;
        return false;
    }

  private:
    int count_ = 0;
    char **items_ = nullptr;
};

/* A point on the earth, in degrees. */
struct Centre {
    double lat = 0, lon = 0;
};

struct StationColumn;

struct Run {
    bool first_only = false;
    bool nearest = false;                               /* stations printed nearest first */
    bool json = false;                                  /* records as JSON lines */
    bool has_centre = false;                            /* a selection value holds an RA< centre */
    Centre centre;                                      /* ... the first one */
    bool dist_wanted = false;                           /* the output names the Dist column */
    std::vector<const StationColumn *> station_columns; /* printed, in order */
    std::vector<char *> values;                         /* selection values, leading '/' removed */
    const Items *output = nullptr;
    bool all_columns = true;
    std::string file;          /* bare file name */
    char path[KEM_PATH_MAX]{}; /* full path */
    bool path_fits = true;     /* false: the path was cut and is not opened */
    bool dbase = false;
};

/* ---- Start-up ------------------------------------------------------- */

/* The input kind and file name chosen by `city_file` and `input`. */
void choose_input(Run &run) {
    static const struct {
        const char *keyword;
        const char *file;
    } kinds[] = {{"cnty", "counties.raw"}, {"state", "states.raw"}, {"city", "cities.raw"},
                 {"zone", "zones.raw"},    {"upair", "upair.raw"},  {"radar", "radar.raw"}};

    const char *city_file = RES_get("city_file");
    const char *input = RES_get("input");
    if (city_file) {
        /* An empty name leaves the database at its default, as the
           database module does when it opens it. */
        run.dbase = true;
        run.file = *city_file ? city_file : "sao.cty";
        return;
    }
    if (!input) {
        run.file = "cities.raw";
        return;
    }
    if (stricmp(input, "dbase") == 0) {
        run.dbase = true;
        run.file = "sao.cty";
        return;
    }
    run.file = input;
    for (const auto &kind : kinds)
        if (stricmp(input, kind.keyword) == 0)
            run.file = kind.file;
}

/* Reports an input file that cannot be opened: `kind` is "Raw" or
   "DBase".  A path cut to fit its buffer is reported as such. */
int input_unopened(const char *kind, const Run &run) {
    if (run.path_fits)
        MESS_print(M_error, "%s File not found: %s\n", kind, run.path);
    else
        MESS_print(M_error, "%s File name too long: %s...\n", kind, run.path);
    return status_not_found;
}

/* ---- Output --------------------------------------------------------- */

/* How a value is written as JSON: a string, a number, or a number for
   which KEM_MISSING means no value (null). */
enum class Kind : unsigned char { text, number, measure };

/* The length of the well-formed UTF-8 sequence at `at`, or, when there is
   none, minus the bytes that one replacement character stands for (the
   longest start of a sequence, at least the first byte). */
long utf8_sequence(std::string_view s, size_t at) {
    auto c = static_cast<unsigned char>(s[at]);
    size_t n = c >= 0xC2 && c <= 0xDF   ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
    if (n == 0)
        return -1;
    unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    for (size_t k = 1; k < n; k++) {
        if (at + k >= s.size())
            return -static_cast<long>(k);
        auto b = static_cast<unsigned char>(s[at + k]);
        if (b < lo || b > hi)
            return -static_cast<long>(k);
        lo = 0x80, hi = 0xBF;
    }
    return static_cast<long>(n);
}

/* `s` as a JSON string: quotes, backslashes and control characters
   escaped, each malformed UTF-8 sequence replaced by U+FFFD. */
void append_json_string(std::string &out, std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            out.append("\\u00");
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            long n = utf8_sequence(s, i);
            if (n > 0)
                out.append(s.substr(i, static_cast<size_t>(n)));
            else
                out.append("\xEF\xBF\xBD");
            i += static_cast<size_t>(n > 0 ? n : -n);
            continue;
        }
        i++;
    }
    out.push_back('"');
}

/* A number as the value functions print it; null for a missing measure or
   a value that is no number (an infinity or NaN). */
void append_json_number(std::string &out, std::string_view value, Kind kind) {
    bool digit = !value.empty() && value.size() > size_t(value[0] == '-') &&
                 value[value[0] == '-'] >= '0' && value[value[0] == '-'] <= '9';
    if (!digit || (kind == Kind::measure && value == "-9999"))
        out.append("null");
    else
        out.append(value);
}

/* The errno of a write to standard output that failed, 0 while none has. */
int lost_errno = 0;

/*
 * Output gathered in one buffer and written with write(2) in blocks of
 * flush_at bytes; after every record on a terminal, so that a person sees
 * each line as it comes.  Anything standard output's stream still holds
 * goes first, so the order of the output stays as it was formed.  After a
 * failed write nothing more is written and `lost_errno` tells why.
 */
class OutBuffer {
  public:
    static constexpr size_t flush_at = 64 * 1024;
    /* Room that `room` can always give: a record of any station. */
    static constexpr size_t reserve = 4 * 1024;

    OutBuffer() : buf_(new char[flush_at + reserve]), tty_(isatty(STDOUT_FILENO) != 0) {}
    ~OutBuffer() { flush(); }
    OutBuffer(const OutBuffer &) = delete;
    OutBuffer &operator=(const OutBuffer &) = delete;

    /* Where `n` (at most `reserve`) more bytes go; `commit` them after. */
    char *room(size_t n) {
        if (used_ + n > flush_at + reserve)
            flush();
        return buf_.get() + used_;
    }
    void commit(const char *end) { used_ = static_cast<size_t>(end - buf_.get()); }

    void put(std::string_view bytes) {
        if (used_ + bytes.size() > flush_at + reserve)
            flush();
        if (bytes.size() > flush_at) {
            write_all(bytes.data(), bytes.size());
            return;
        }
        memcpy(buf_.get() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }

    /* Ends a record; false once the output could not be written. */
    bool end_record() {
        if (used_ >= flush_at || tty_)
            flush();
        return lost_errno == 0;
    }

    bool flush() {
        if (used_ > 0)
            write_all(buf_.get(), used_);
        used_ = 0;
        return lost_errno == 0;
    }

  private:
    static void write_all(const char *at, size_t n) {
        if (lost_errno != 0)
            return;
        if (fflush(stdout) != 0) {
            lost_errno = errno != 0 ? errno : EIO;
            return;
        }
        while (n > 0) {
            ssize_t done = write(STDOUT_FILENO, at, n);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                lost_errno = done < 0 ? errno : EIO;
                return;
            }
            at += done;
            n -= static_cast<size_t>(done);
        }
    }

    std::unique_ptr<char[]> buf_;
    size_t used_ = 0;
    bool tty_;
};

/*
 * Where printed fields go.  When messages go to standard output only,
 * records are formatted straight into an OutBuffer; otherwise every field
 * is a pair of messages (the column name as out1, the value as print) and
 * the record's end a print message, for the message files and paging.
 * A failed write ends the scan; main reports it.
 */
class Printer {
  public:
    static constexpr bool json = false;

    Printer()
        : direct_(MESS_plain_stdout() != 0), names_(MESS_check(M_out1) != 0),
          values_(MESS_check(M_print) != 0) {}

    bool direct() const { return direct_; }
    bool names() const { return names_; }
    bool values() const { return values_; }
    OutBuffer &buffer() { return buf_; }

    /* One field, after its column name when it has one; `value` is
       terminated (the message path prints it with "%s "). */
    void field(const char *name, std::string_view value, Kind = Kind::text) {
        if (!direct_) {
            if (name)
                MESS_print(M_out1, "%s=", name);
            MESS_print(M_print, "%s ", value.data());
            return;
        }
        if (name && names_) {
            buf_.put(name);
            buf_.put("=");
        }
        if (values_) {
            buf_.put(value);
            buf_.put(" ");
        }
    }

    /* Ends the record; false when the output could not be written. */
    bool end() {
        if (!direct_) {
            MESS_print(M_print, "\n");
            return !ferror(stdout);
        }
        if (values_)
            buf_.put("\n");
        return buf_.end_record() && !ferror(stdout);
    }

    /* Writes what is left; false when the output could not be written. */
    bool finish() { return buf_.flush(); }

  private:
    bool direct_, names_, values_;
    OutBuffer buf_;
};

/* Records as JSON lines: a record is one object formed on one line, the
   column names its keys (never out1 messages), written at once or, when
   messages go elsewhere too, as one print message. */
class JsonPrinter {
  public:
    static constexpr bool json = true;

    JsonPrinter() : direct_(MESS_plain_stdout() != 0), values_(MESS_check(M_print) != 0) {}

    void field(const char *name, std::string_view value, Kind kind = Kind::text) {
        line_.push_back(line_.empty() ? '{' : ',');
        append_json_string(line_, name ? name : "");
        line_.push_back(':');
        if (kind == Kind::text)
            append_json_string(line_, value);
        else
            append_json_number(line_, value, kind);
    }

    bool end() {
        line_.append(line_.empty() ? "{}\n" : "}\n");
        if (values_ && direct_)
            fwrite(line_.data(), 1, line_.size(), stdout);
        else if (values_)
            MESS_print(M_print, "%s", line_.c_str());
        line_.clear();
        return !ferror(stdout);
    }

    bool finish() { return !ferror(stdout); }

  private:
    bool direct_, values_;
    std::string line_;
};

/* ---- Station database ----------------------------------------------- */

/* Room for any value of a station column as text; the writers below put
   a value (not terminated, at most value_max - 1 bytes) at `out` as
   printf's formats print it and answer its end. */
constexpr size_t value_max = 64;
using Value = char[value_max];

char *text_value(char *out, const char *field, size_t size) {
    for (size_t i = 0; i < size && field[i] != '\0'; i++)
        *out++ = field[i];
    return out;
}

/* "00" to "99", two digits at a time. */
constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

/* A text of at most two bytes. */
char *short_text(char *out, const char (&field)[3]) {
    out[0] = field[0];
    out[1] = field[1];
    return out + (field[0] == '\0' ? 0 : field[1] == '\0' ? 1 : 2);
}

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

/* "%d" */
char *int_value(char *out, int value) {
    if (value >= 0 && value < 10000)
        return small_digits(out, static_cast<unsigned>(value));
    return std::to_chars(out, out + value_max - 1, value).ptr;
}

/*
 * "%3.2f" (two decimals) or "%1.0f" (none).  A float times 100 is held
 * exactly by a double, so rounding that to a whole number (ties to even,
 * as printf rounds) gives printf's digits, the sign kept for values that
 * round to zero.  Values too large for that, and infinities and NaN, are
 * left to printf.
 */
char *real_value(char *out, float value, int decimals) {
    double scaled = decimals == 2 ? double(value) * 100.0 : double(value);
    if (!(std::fabs(scaled) < 1e15)) {
        int n = snprintf(out, value_max, decimals == 2 ? "%3.2f" : "%1.0f", value);
        return out + std::min(static_cast<size_t>(std::max(n, 0)), value_max - 1);
    }
    auto digits = static_cast<unsigned long long>(std::fabs(std::nearbyint(scaled)));
    char *p = out;
    if (std::signbit(value))
        *p++ = '-';
    if (decimals == 2) {
        unsigned long long whole = digits / 100;
        p = whole < 10000 ? small_digits(p, static_cast<unsigned>(whole))
                          : std::to_chars(p, out + value_max, whole).ptr;
        *p++ = '.';
        memcpy(p, digit_pairs + 2 * (digits % 100), 2);
        p += 2;
    } else {
        p = digits < 10000 ? small_digits(p, static_cast<unsigned>(digits))
                           : std::to_chars(p, out + value_max, digits).ptr;
    }
    return p;
}

/* A kept station and its distance in km from the run's centre; NaN
   without a centre, or for a station without a position. */
struct Station {
    CTY_data city;
    double dist;
    size_t name_len; /* of city.name */
};

/* "%.1f", or a missing value. */
char *dist_value(char *out, double dist) {
    int n = std::isnan(dist) ? snprintf(out, value_max, "%d", KEM_MISSING)
                             : snprintf(out, value_max, "%.1f", dist);
    return out + std::min(static_cast<size_t>(std::max(n, 0)), value_max - 1);
}

using ValueWriter = char *(*)(char *out, const Station &s);

struct StationColumn {
    const char *key;
    Kind kind;
    ValueWriter value;
    ValueWriter json; /* null: as `value` */
};

/* The columns of a station, in the order printed without an output list. */
const StationColumn station_columns[] = {
    {"Name", Kind::text,
     [](char *out, const Station &s) { return text_value(out, s.city.name, sizeof s.city.name); },
     nullptr},
    {"ST", Kind::text,
     [](char *out, const Station &s) { return text_value(out, s.city.state, sizeof s.city.state); },
     nullptr},
    {"CN", Kind::text,
     [](char *out, const Station &s) {
         return text_value(out, s.city.region, sizeof s.city.region);
     },
     nullptr},
    {"ID", Kind::text,
     [](char *out, const Station &s) { return text_value(out, s.city.id, sizeof s.city.id); },
     nullptr},
    {"P", Kind::number, [](char *out, const Station &s) { return int_value(out, s.city.prior); },
     nullptr},
    {"Lat", Kind::number,
     [](char *out, const Station &s) { return real_value(out, s.city.lat, 2); }, nullptr},
    {"Lon", Kind::number,
     [](char *out, const Station &s) { return real_value(out, s.city.lon, 2); }, nullptr},
    {"Elev", Kind::measure,
     [](char *out, const Station &s) { return real_value(out, s.city.el, 0); }, nullptr},
    /* JSON has no leading zeros: the station number as a plain number. */
    {"WMO", Kind::measure,
     [](char *out, const Station &s) { return station_number(out, s.city.wmo); },
     [](char *out, const Station &s) { return int_value(out, s.city.wmo); }},
};

/* Printed only when the output list names it. */
const StationColumn dist_column = {
    "Dist", Kind::measure, [](char *out, const Station &s) { return dist_value(out, s.dist); },
    nullptr};

/* The longest column key. */
constexpr size_t key_max = 4;

/* A value written into `out` and terminated. */
std::string_view terminated(Value out, ValueWriter write, const Station &s) {
    char *end = write(out, s);
    *end = '\0';
    return {out, static_cast<size_t>(end - out)};
}

template <class Out>
void print_station_column(Out &out, const StationColumn &column, const Station &s) {
    Value value;
    ValueWriter write = Out::json && column.json ? column.json : column.value;
    out.field(column.key, terminated(value, write, s), column.kind);
}

/* The station columns the output list names, in its order (an item given
   twice prints twice); without a list, or with "all" in it, the nine of
   station_columns, then Dist when the list names it. */
void choose_station_columns(Run &run) {
    if (run.all_columns) {
        for (const auto &column : station_columns)
            run.station_columns.push_back(&column);
        if (run.dist_wanted)
            run.station_columns.push_back(&dist_column);
        return;
    }
    for (int item = 0; item < run.output->count(); item++) {
        for (const auto &column : station_columns)
            if (stricmp((*run.output)[item], column.key) == 0)
                run.station_columns.push_back(&column);
        if (stricmp((*run.output)[item], dist_column.key) == 0)
            run.station_columns.push_back(&dist_column);
    }
}

template <class Out> bool print_station_record(const Run &run, Out &out, const Station &s) {
    for (const StationColumn *column : run.station_columns)
        print_station_column(out, *column, s);
    return out.end();
}

/* The values of the nine columns of station_columns, each followed by a
   blank, and the line end. */
char *nine_values(char *p, const Station &s) {
    /* Whole fields copied, the bytes past a text's end overwritten after. */
    memcpy(p, s.city.name, sizeof s.city.name);
    p += s.name_len;
    *p++ = ' ';
    p = short_text(p, s.city.state);
    *p++ = ' ';
    p = short_text(p, s.city.region);
    *p++ = ' ';
    memcpy(p, s.city.id, sizeof s.city.id);
    p += strnlen(s.city.id, sizeof s.city.id);
    *p++ = ' ';
    p = int_value(p, s.city.prior);
    *p++ = ' ';
    p = real_value(p, s.city.lat, 2);
    *p++ = ' ';
    p = real_value(p, s.city.lon, 2);
    *p++ = ' ';
    p = real_value(p, s.city.el, 0);
    *p++ = ' ';
    p = station_number(p, s.city.wmo);
    *p++ = ' ';
    *p++ = '\n';
    return p;
}

/* A plain record straight into the output buffer: each column's key and
   "=" when names are printed, its value and a blank when values are. */
template <> bool print_station_record(const Run &run, Printer &out, const Station &s) {
    bool names = out.names(), values = out.values();
    size_t per_column = (names ? key_max + 1 : 0) + (values ? value_max : 0);
    size_t most = run.station_columns.size() * per_column + 1;
    if (!out.direct() || most > OutBuffer::reserve) {
        for (const StationColumn *column : run.station_columns)
            print_station_column(out, *column, s);
        return out.end();
    }
    OutBuffer &buf = out.buffer();
    char *p = buf.room(most);
    if (values && !names && run.all_columns && !run.dist_wanted) {
        /* The nine columns of a plain run, without a call for each. */
        p = nine_values(p, s);
        buf.commit(p);
        return buf.end_record() && !ferror(stdout);
    }
    for (const StationColumn *column : run.station_columns) {
        if (names) {
            for (const char *k = column->key; *k; k++)
                *p++ = *k;
            *p++ = '=';
        }
        if (values) {
            p = column->value(p, s);
            *p++ = ' ';
        }
    }
    if (values)
        *p++ = '\n';
    buf.commit(p);
    return buf.end_record() && !ferror(stdout);
}

/* ---- Distances ------------------------------------------------------ */

/*
 * The great-circle distance in km between two points given in degrees,
 * by the haversine formula in double precision, which stays exact for
 * points metres apart (where the cosine of the central angle is 1 to
 * within rounding), on the sphere the RA< selection measures on.
 */
double great_circle_km(Centre a, Centre b) {
    constexpr double radius_km = 6371.3;
    constexpr double deg_to_rad = 0.017453292519943334;
    double dlat = (b.lat - a.lat) * deg_to_rad, dlon = (b.lon - a.lon) * deg_to_rad;
    double s_lat = std::sin(dlat / 2), s_lon = std::sin(dlon / 2);
    double h =
        s_lat * s_lat + std::cos(a.lat * deg_to_rad) * std::cos(b.lat * deg_to_rad) * s_lon * s_lon;
    return 2 * radius_km * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

/* The station's distance from the run's centre, NaN when either has no
   usable position. */
double station_dist(const Run &run, const CTY_data &city) {
    if (!run.has_centre || city.lat == KEM_MISSING || city.lon == KEM_MISSING ||
        !std::isfinite(city.lat) || !std::isfinite(city.lon))
        return std::nan("");
    return great_circle_km(run.centre, {city.lat, city.lon});
}

/* A finite real number at the start of `text`. */
bool read_finite(const char *text, double &out) {
    return read_real(text, out) && std::isfinite(out);
}

/* The centre of the first value that holds a readable RA<lat:lon:range
   piece. */
void find_centre(Run &run) {
    for (char *value : run.values) {
        int count = 0;
        char **pieces = nullptr;
        if (parse_string(value, ':', &count, &pieces) < 0)
            continue;
        for (int i = 0; i + 2 < count && !run.has_centre; i++)
            run.has_centre =
                strnicmp(pieces[i], "RA<", 3) == 0 && read_finite(pieces[i] + 3, run.centre.lat) &&
                read_finite(pieces[i + 1], run.centre.lon) && std::fabs(run.centre.lat) <= 90;
        free_parsed_array(count, pieces);
        if (run.has_centre)
            return;
    }
}

/* The database the run chose, at the path it formed.  A city_file of
   "none" switches the database off (the database module refuses that
   name as well), without a warning. */
int open_database(const Run &run) {
    if (stricmp(run.file.c_str(), "none") == 0)
        return -1;
    int num_stats = 0;
    return CTY_open_path(run.path, run.path_fits ? 1 : 0, &num_stats);
}

/* The selection values, prepared once for every record. */
class Selection {
  public:
    explicit Selection(const std::vector<char *> &values)
        : any_(!values.empty()), sel_(any_ ? CTY_select_new(static_cast<int>(values.size()),
                                                            const_cast<char **>(values.data()))
                                           : nullptr) {}
    ~Selection() { CTY_select_free(sel_); }
    Selection(const Selection &) = delete;
    Selection &operator=(const Selection &) = delete;

    const CTY_select *get() const { return sel_; }
    bool keeps(const CTY_data &city) const { return !any_ || CTY_select_cmp(sel_, &city) != -1; }

  private:
    bool any_;
    CTY_select *sel_;
};

/* The name as trim_string and fill_string leave it (trailing blanks
   removed, the others made '_'), in one pass that stops early for the
   usual name of no blanks. */
size_t tidy_name(char *name) {
    size_t n = strlen(name);
    if (!memchr(name, ' ', n))
        return n;
    while (n > 0 && name[n - 1] == ' ')
        name[--n] = '\0';
    for (char *at = name; (at = static_cast<char *>(memchr(at, ' ', n - (at - name))));)
        *at++ = '_';
    return n;
}

/* Station `a` goes before `b` nearest first: stations without a distance
   last. */
bool nearer(const Station &a, const Station &b) {
    return !std::isnan(a.dist) && (std::isnan(b.dist) || a.dist < b.dist);
}

/* The kept stations, nearest first (ties in file order). */
template <class Out> void print_nearest(const Run &run, Out &out, std::vector<Station> &kept) {
    std::stable_sort(kept.begin(), kept.end(), nearer);
    for (const Station &s : kept)
        if (!print_station_record(run, out, s) || run.first_only)
            break;
}

template <class Out> void scan_database(const Run &run, int fd) {
    Selection selection(run.values);
    Out out;
    bool sorted = run.nearest && run.has_centre;
    std::vector<Station> kept; /* with "first", only the nearest so far */
    Station s;
    while (CTY_read_select(fd, &s.city, selection.get()) > 0) {
        s.name_len = tidy_name(s.city.name);
        if (!selection.keeps(s.city))
            continue;
        s.dist = run.dist_wanted || sorted ? station_dist(run, s.city) : 0;
        if (!sorted) {
            if (!print_station_record(run, out, s) || run.first_only)
                break;
        } else if (!run.first_only) {
            kept.push_back(s);
        } else if (kept.empty() || nearer(s, kept[0])) {
            kept.assign(1, s);
        }
    }
    print_nearest(run, out, kept);
    out.finish();
}

int search_database(const Run &run) {
    int fd = open_database(run);
    if (fd < 0)
        return input_unopened("DBase", run);
    CTY_rewind(fd);
    if (run.json)
        scan_database<JsonPrinter>(run, fd);
    else
        scan_database<Printer>(run, fd);
    CTY_close(fd);
    return 0;
}

/* ---- Raw tables ----------------------------------------------------- */

struct Table {
    std::vector<std::string> columns;
    int name_col = -1, st_col = -1, id_col = -1; /* the last column of each name */

    void set_columns(std::vector<std::string> names) {
        columns = std::move(names);
        for (int i = 0; i < static_cast<int>(columns.size()); i++) {
            if (stricmp(columns[i].c_str(), "Name") == 0)
                name_col = i;
            if (stricmp(columns[i].c_str(), "ST") == 0)
                st_col = i;
            if (stricmp(columns[i].c_str(), "ID") == 0)
                id_col = i;
        }
    }

    /* The row's field of a column, or null when the row is too short or
       the table has no such column. */
    static const char *field(const std::vector<std::string> &row, int col) {
        return col >= 0 && col < static_cast<int>(row.size()) ? row[col].c_str() : nullptr;
    }
};

bool equal_nocase(const char *a, const char *b) {
    return a && b && stricmp(a, b) == 0;
}

/* "key=value": some column named key holds value.  A key longer than the
   longest key kept names no column. */
bool match_key_value(const Table &table, const std::vector<std::string> &row, const char *value) {
    const char *eq = strchr(value, '=');
    std::string key(value, eq);
    if (key.size() > max_value_key)
        return false;
    for (size_t i = 0; i < table.columns.size() && i < row.size(); i++)
        if (stricmp(table.columns[i].c_str(), key.c_str()) == 0 &&
            stricmp(row[i].c_str(), eq + 1) == 0)
            return true;
    return false;
}

/* The value is a prefix of "Name_ST", the formed key cut to its limit. */
bool match_name_state(const Table &table, const std::vector<std::string> &row, const char *value) {
    const char *name = Table::field(row, table.name_col);
    const char *state = Table::field(row, table.st_col);
    if (!name || !state)
        return false;
    std::string key = std::string(name) + "_" + state;
    if (key.size() > max_name_state)
        key.resize(max_name_state);
    size_t len = strlen(value);
    return len <= key.size() &&
           (len == 0 || strnicmp(value, key.c_str(), static_cast<int>(len)) == 0);
}

bool row_matches(const Table &table, const std::vector<std::string> &row, const char *value) {
    if (strchr(value, '='))
        return match_key_value(table, row, value);
    if (equal_nocase(value, Table::field(row, table.id_col)))
        return true;
    if (strlen(value) == 4)
        return false;
    return match_name_state(table, row, value);
}

/* A field beyond the named columns is printed without a name; as JSON
   its key is its position, counted from 1.  Inlined: it runs for every
   field of every row, and a call costs as much as the field. */
template <class Out>
[[gnu::always_inline]] inline void print_field(Out &out, const Table &table,
                                               const std::vector<std::string> &row, size_t i) {
    const char *name = i < table.columns.size() ? table.columns[i].c_str() : nullptr;
    if (Out::json && !name) {
        char position[16];
        *std::to_chars(position, position + sizeof position - 1, i + 1).ptr = '\0';
        out.field(position, row[i]);
        return;
    }
    out.field(name, row[i]);
}

template <class Out>
bool print_row(const Run &run, Out &out, const Table &table, const std::vector<std::string> &row) {
    if (run.all_columns) {
        for (size_t i = 0; i < row.size(); i++)
            print_field(out, table, row, i);
    } else {
        for (int item = 0; item < run.output->count(); item++)
            for (size_t i = 0; i < row.size() && i < table.columns.size(); i++)
                if (stricmp(table.columns[i].c_str(), (*run.output)[item]) == 0)
                    print_field(out, table, row, i);
    }
    return out.end();
}

template <class Out> void print_rows(FILE *in, const Run &run, const Table &table) {
    char line[KEM_LINE_MAX + 1];
    Out out;
    std::vector<std::string> row;
    const char *value = run.values.empty() ? nullptr : run.values[0];
    /* A plain value stands in the line of every row it matches, as the
       identifier or as the start of "Name_ST" (the part before its first
       '_'), in either case: other lines are not split. */
    std::string stands =
        value && !strchr(value, '=') ? std::string(value, strcspn(value, "_")) : "";
    while (fgetnline(in, line, KEM_LINE_MAX) >= 0) {
        if (!stands.empty() && !strcasestr(line, stands.c_str()))
            continue;
        split_words(line, max_columns, max_field, row);
        if (value && !row_matches(table, row, value))
            continue;
        if (!print_row(run, out, table, row) || run.first_only)
            break;
    }
    out.finish();
}

void search_table(FILE *in, const Run &run) {
    char line[KEM_LINE_MAX + 1];
    for (int i = 0; i < 3; i++)
        if (fgetline(in, line) < 0)
            return;
    if (fgetnline(in, line, KEM_LINE_MAX) < 0)
        return;
    std::vector<std::string> names;
    split_words(line, max_columns, max_col_name, names);
    Table table;
    table.set_columns(std::move(names));

    if (run.json)
        print_rows<JsonPrinter>(in, run, table);
    else
        print_rows<Printer>(in, run, table);
}

int read_table(const Run &run) {
    FILE *in = run.path_fits ? FILE_open(run.path, "r") : nullptr;
    if (!in)
        return input_unopened("Raw", run);
    search_table(in, run);
    FILE_close(in);
    return 0;
}

/* ---- The run -------------------------------------------------------- */

/* A closed standard output is held by a descriptor that cannot be
   written, so that no file opened later takes its number (and receives
   the output) and every write fails as it should. */
void hold_closed_stdout() {
    if (fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF)
        return;
    int fd = open("/dev/null", O_RDONLY);
    if (fd >= 0 && fd != STDOUT_FILENO) {
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
}

/* Output that could not be written fails the run, so that a script can
   tell that it was lost. */
int check_output(int status) {
    errno = 0;
    if (lost_errno == 0 && fflush(stdout) == 0 && !ferror(stdout))
        return status;
    int cause = lost_errno != 0 ? lost_errno : errno != 0 ? errno : EIO;
    MESS_print(M_error, "Output not written: %s\n", strerror(cause));
    return status != 0 ? status : status_write_failed;
}

int print_help() {
    char prog[KEM_PATH_MAX];
    RES_get_progname(prog);
    MESS_print(M_print, "%s: This program determines a KEM file name\n", prog);
    RES_help_print(prog, keyed_options, positional_options);
    return 0;
}

/* Steps of a lookup after start-up: the input chosen and searched. */
int look_up() {
    Run run;
    {
        Items parameters("parameter");
        run.first_only = parameters.contains("first");
        run.nearest = parameters.contains("nearest");
        run.json = parameters.contains("json");
    }
    /* JSON lines hold records only. */
    if (!run.json)
        MESS_print_prog("CITY DETERMINATION PROGRAM");

    choose_input(run);
    run.path_fits = FILE_add_path(RES_get("file_path"), run.file.c_str(), run.path) != nullptr;
    if (!run.json)
        MESS_print(M_mess, "Opening: %s\n", run.file.c_str());

    Items values("value");
    for (int i = 0; i < values.count(); i++) {
        char *value = values.items()[i];
        run.values.push_back(value[0] == '/' ? value + 1 : value);
    }
    Items output("output");
    run.output = &output;
    run.all_columns = output.count() == 0 || output.contains("all");
    run.dist_wanted = output.contains("Dist");
    if (run.dbase) {
        choose_station_columns(run);
        find_centre(run);
    }
    if (run.nearest && !run.has_centre)
        MESS_print(M_warn, "Parameter nearest needs an RA< value: records in file order\n");

    return run.dbase ? search_database(run) : read_table(run);
}

} // namespace

int main(int argc, char **argv) {
    hold_closed_stdout();
    MESS_set(0, M_warn);
    RES_init(argc, argv, keyed_options, positional_options);
    int status = FLAG_help() ? print_help() : look_up();
    KEM_exit(check_output(status));
}
