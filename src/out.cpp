/*
 * out.cpp - records written to standard output: their named fields as
 * values, as Key=value pairs, or as JSON lines.
 *
 * When messages go to standard output only, a writer formats records
 * straight into one buffer that is written with write(2) in 64 KiB
 * blocks, after every record on a terminal; otherwise every field is a
 * pair of messages (the column name as out1, the value as print) and the
 * record's end a print message, for message files and paging.  A JSON
 * record is one object on one line, its keys the column names, written
 * at once or as one print message.
 *
 * State: each writer owns its buffer.  Failure: the first write that
 * fails stops the writer's output; its errno is kept and answered by
 * OUT_close, so that the caller can say why the output was lost.
 */
#include "cty_field.h"
#include "kem.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

/* ------------------------------------------------------------------------
 * JSON texts
 * ---------------------------------------------------------------------- */

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

/* Is the whole text a JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)? */
bool json_number(std::string_view t) {
    size_t i = 0, n = t.size();
    auto digits = [&] {
        size_t from = i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > from;
    };
    if (i < n && t[i] == '-')
        ++i;
    if (i < n && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < n && t[i] == '.' && (++i, !digits()))
        return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == n;
}

/* How a value of a kind shows in the formats that tell: none, a number or
   a text. */
enum class Shown { none, number, text };

Shown shown_as(std::string_view value, OUT_kind kind) {
    switch (kind) {
    case OUT_text:
        return Shown::text;
    case OUT_code:
        return value == "--" ? Shown::none : Shown::text;
    case OUT_number:
        return json_number(value) ? Shown::number : Shown::none;
    case OUT_measure:
        return value == "-9999" || !json_number(value) ? Shown::none : Shown::number;
    case OUT_any:
        break;
    }
    return value == "-9999" ? Shown::none : json_number(value) ? Shown::number : Shown::text;
}

void append_json_value(std::string &out, std::string_view value, OUT_kind kind) {
    switch (shown_as(value, kind)) {
    case Shown::none:
        out.append("null");
        break;
    case Shown::number:
        out.append(value);
        break;
    case Shown::text:
        append_json_string(out, value);
        break;
    }
}

/* A CSV cell: quoted when it holds a comma, a quote or a line end, its
   quotes doubled; empty for no value. */
void append_csv_value(std::string &out, std::string_view value, OUT_kind kind) {
    if (shown_as(value, kind) == Shown::none)
        return;
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(value);
        return;
    }
    out.push_back('"');
    for (char c : value) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

/* ------------------------------------------------------------------------
 * The output buffer
 * ---------------------------------------------------------------------- */

/*
 * Output gathered in one buffer and written with write(2) in blocks of
 * flush_at bytes; after every record on a terminal, so that a person sees
 * each line as it comes.  Anything standard output's stream still holds
 * goes first, so the order of the output stays as it was formed.  After a
 * failed write nothing more is written and `lost` tells why.
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
        return lost == 0;
    }

    bool flush() {
        if (used_ > 0)
            write_all(buf_.get(), used_);
        used_ = 0;
        return lost == 0;
    }

    int lost = 0; /* the errno of the write that failed, 0 while none has */

  private:
    void write_all(const char *at, size_t n) {
        if (lost != 0)
            return;
        if (fflush(stdout) != 0) {
            lost = errno != 0 ? errno : EIO;
            return;
        }
        while (n > 0) {
            ssize_t done = write(STDOUT_FILENO, at, n);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                lost = done < 0 ? errno : EIO;
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

} // namespace

/* ------------------------------------------------------------------------
 * Writers
 * ---------------------------------------------------------------------- */

struct OUT_writer {
    explicit OUT_writer(OUT_format f)
        : format(f), direct(MESS_plain_stdout() != 0), names(MESS_check(M_out1) != 0),
          values(MESS_check(M_print) != 0) {}

    OUT_format format;
    bool direct; /* messages go to standard output only: into `buf` */
    bool names, values;
    OutBuffer buf;
    std::string line;    /* the record being formed, as JSON, CSV or a feature */
    std::string props;   /* a feature's properties */
    long line_count = 0; /* features written */
    int fields = 0;      /* of the record being formed */
    bool has_position = false;
    float lat = 0, lon = 0;
    /* The names of the fields, for a CSV header; whether the header or a
       feature collection's start has been written. */
    std::vector<std::string> header;
    bool started = false;
    /* The station columns, and whether they are the nine of a listing. */
    std::vector<int> columns{0, 1, 2, 3, 4, 5, 6, 7, 8};
    bool nine = true;

    bool ok() const { return buf.lost == 0 && !ferror(stdout); }
    bool formed() const { return format != OUT_plain; }
    void emit(const std::string &text);
    void start();
    void field(const char *name, std::string_view value, OUT_kind kind);
    bool end();
    void finish();
};

namespace {

void plain_field(OUT_writer &w, const char *name, std::string_view value) {
    if (!w.direct) {
        if (name)
            MESS_print(M_out1, "%s=", name);
        MESS_print(M_print, "%s ", std::string(value).c_str());
        return;
    }
    if (name && w.names) {
        w.buf.put(name);
        w.buf.put("=");
    }
    if (w.values) {
        w.buf.put(value);
        w.buf.put(" ");
    }
}

/* A shortest text that reads back as the same float. */
std::string float_text(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

} // namespace

/* Formed text goes out as it is when messages go to standard output only,
   else as one print message. */
void OUT_writer::emit(const std::string &text) {
    if (values && direct)
        buf.put(text);
    else if (values)
        MESS_print(M_print, "%s", text.c_str());
}

/* What comes before the first record: the CSV header, the start of the
   feature collection. */
void OUT_writer::start() {
    if (started)
        return;
    started = true;
    if (format == OUT_csv && !header.empty()) {
        std::string row;
        for (size_t i = 0; i < header.size(); i++) {
            if (i > 0)
                row.push_back(',');
            append_csv_value(row, header[i], OUT_text);
        }
        emit(row + "\n");
    } else if (format == OUT_geojson) {
        emit("{\"type\":\"FeatureCollection\",\"features\":[\n");
    }
}

void OUT_writer::field(const char *name, std::string_view value, OUT_kind kind) {
    switch (format) {
    case OUT_plain:
        plain_field(*this, name, value);
        return;
    case OUT_csv:
        if (fields++ > 0)
            line.push_back(',');
        append_csv_value(line, value, kind);
        return;
    case OUT_json:
    case OUT_geojson: {
        std::string &out = format == OUT_json ? line : props;
        out.push_back(out.empty() ? '{' : ',');
        append_json_string(out, name ? name : "");
        out.push_back(':');
        append_json_value(out, value, kind);
        return;
    }
    }
}

bool OUT_writer::end() {
    if (!formed()) {
        if (!direct) {
            MESS_print(M_print, "\n");
            return ok();
        }
        if (values)
            buf.put("\n");
        return buf.end_record() && ok();
    }
    start();
    if (format == OUT_json) {
        line.append(line.empty() ? "{}\n" : "}\n");
    } else if (format == OUT_csv) {
        line.push_back('\n');
    } else {
        std::string feature = line_count++ > 0 ? ",\n" : "";
        feature += "{\"type\":\"Feature\",\"geometry\":";
        if (has_position)
            feature += "{\"type\":\"Point\",\"coordinates\":[" + float_text(lon) + "," +
                       float_text(lat) + "]}";
        else
            feature += "null";
        feature += ",\"properties\":" + (props.empty() ? "{}" : props + "}") + "}";
        line = feature;
    }
    emit(line);
    line.clear();
    props.clear();
    fields = 0;
    has_position = false;
    return direct ? buf.end_record() && ok() : ok();
}

/* What comes after the last record: the end of the feature collection, or
   a CSV header that no record has followed. */
void OUT_writer::finish() {
    if (format != OUT_csv && format != OUT_geojson)
        return;
    start();
    if (format == OUT_geojson)
        emit(line_count > 0 ? "\n]}\n" : "]}\n");
}

OUT_writer *OUT_open(OUT_format format) {
    if (format < OUT_plain || format > OUT_geojson)
        return nullptr;
    return new (std::nothrow) OUT_writer(format);
}

int OUT_set_names(OUT_writer *out, int count, const char *const *names) {
    if (out == nullptr || count < 0 || (count > 0 && names == nullptr))
        return -1;
    try {
        out->header.clear();
        for (int i = 0; i < count; i++)
            out->header.emplace_back(names[i] ? names[i] : "");
    } catch (...) {
        return -1;
    }
    return 0;
}

int OUT_put_field(OUT_writer *out, const char *name, const char *value, OUT_kind kind) {
    if (out == nullptr)
        return -1;
    try {
        out->field(name, value ? value : "", kind);
    } catch (...) {
        return -1;
    }
    return out->ok() ? 0 : -1;
}

int OUT_put_position(OUT_writer *out, float lat, float lon) {
    if (out == nullptr)
        return -1;
    out->has_position = std::isfinite(lat) && std::isfinite(lon) && lat != KEM_MISSING &&
                        lon != KEM_MISSING && std::fabs(lat) <= 90;
    out->lat = lat;
    out->lon = lon;
    return 0;
}

int OUT_end_record(OUT_writer *out) {
    if (out == nullptr)
        return -1;
    try {
        return out->end() ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

int OUT_close(OUT_writer *out) {
    if (out == nullptr)
        return 0;
    try {
        out->finish();
    } catch (...) {
    }
    out->buf.flush();
    int lost = out->buf.lost;
    delete out;
    return lost;
}

int OUT_is_number(const char *text) {
    return text != nullptr && json_number(text) ? 1 : 0;
}

size_t OUT_json_string(const char *text, size_t len, char *buf, size_t size) {
    std::string json;
    try {
        append_json_string(json, std::string_view(text ? text : "", text ? len : 0));
    } catch (...) {
        return 0;
    }
    if (buf != nullptr && size > 0) {
        size_t n = std::min(json.size(), size - 1);
        memcpy(buf, json.data(), n);
        buf[n] = '\0';
    }
    return json.size();
}

/* ------------------------------------------------------------------------
 * Stations
 * ---------------------------------------------------------------------- */

int CTY_column_find(const char *key) {
    if (key == nullptr)
        return -1;
    for (int i = 0; i < station_field_count; i++)
        if (stricmp(key, station_fields[i].column) == 0)
            return i;
    return -1;
}

int CTY_tidy_name(CTY_data *city) {
    if (city == nullptr)
        return 0;
    char *name = city->name;
    size_t n = strnlen(name, sizeof city->name - 1);
    name[n] = '\0';
    if (!memchr(name, ' ', n)) /* the usual name */
        return static_cast<int>(n);
    while (n > 0 && name[n - 1] == ' ')
        name[--n] = '\0';
    for (char *at = name; (at = static_cast<char *>(memchr(at, ' ', n - (at - name))));)
        *at++ = '_';
    return static_cast<int>(n);
}

const char *CTY_column_name(int column) {
    return column >= 0 && column < station_field_count ? station_fields[column].column : nullptr;
}

namespace {

/* The longest column name. */
constexpr size_t column_max = 4;

void station_field(OUT_writer &w, const StationField &f, const CTY_data &city, double dist) {
    char value[field_value_max];
    FieldWriter write = w.formed() && f.json ? f.json : f.text;
    char *end = write(value, city, dist);
    *end = '\0';
    w.field(f.column, {value, static_cast<size_t>(end - value)}, f.kind);
}

/* A plain record straight into the buffer: each column's name and "="
   when names are printed, its value and a blank when values are. */
bool direct_station(OUT_writer &w, const CTY_data &city, double dist) {
    char *p = w.buf.room(w.columns.size() * (column_max + 1 + field_value_max) + 1);
    if (w.values && !w.names && w.nine) {
        w.buf.commit(station_line(p, city, strnlen(city.name, sizeof city.name)));
        return w.buf.end_record() && w.ok();
    }
    for (int column : w.columns) {
        const StationField &f = station_fields[column];
        if (w.names) {
            for (const char *k = f.column; *k; k++)
                *p++ = *k;
            *p++ = '=';
        }
        if (w.values) {
            p = f.text(p, city, dist);
            *p++ = ' ';
        }
    }
    if (w.values)
        *p++ = '\n';
    w.buf.commit(p);
    return w.buf.end_record() && w.ok();
}

} // namespace

int OUT_station_columns(OUT_writer *out, const int *columns, int count) {
    if (out == nullptr || count < 0 || (count > 0 && columns == nullptr))
        return -1;
    for (int i = 0; i < count; i++)
        if (columns[i] < 0 || columns[i] >= station_field_count)
            return -1;
    try {
        out->columns.assign(columns, columns + count);
        out->header.clear();
        for (int i = 0; i < count; i++)
            out->header.emplace_back(station_fields[columns[i]].column);
    } catch (...) {
        return -1;
    }
    out->nine = count == dist_field;
    for (int i = 0; i < count; i++)
        out->nine = out->nine && columns[i] == i;
    return 0;
}

int OUT_put_station(OUT_writer *out, const CTY_data *city, double dist) {
    if (out == nullptr || city == nullptr)
        return -1;
    try {
        size_t most = out->columns.size() * (column_max + 1 + field_value_max) + 1;
        if (out->direct && out->format == OUT_plain && most <= OutBuffer::reserve)
            return direct_station(*out, *city, dist) ? 0 : -1;
        OUT_put_position(out, city->lat, city->lon);
        for (int column : out->columns)
            station_field(*out, station_fields[column], *city, dist);
        return out->end() ? 0 : -1;
    } catch (...) {
        return -1;
    }
}
