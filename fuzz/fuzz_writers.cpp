/*
 * fuzz_writers.cpp - the JSON, CSV and GeoJSON record writers.
 *
 * Input: a format byte (JSON lines, CSV or GeoJSON by its value modulo 3),
 * then records, each a byte N (fields: N modulo 8; a position follows when
 * its high bit is set: two floats of four bytes, any bits), then per field
 * a kind byte (OUT_kind by its value modulo 5), a name and a value, each a
 * length byte and that many bytes.  An input that ends early ends the
 * records.  The writer writes to a file; a strict reader in this harness
 * reads the output back and checks that it gives the same records, with
 * the meaning kem.h gives each kind: none (-9999 of a measure or of any
 * kind, "--" of a code, a number kind whose text is no JSON number) is
 * null or an empty cell, a number its own text, a text a string.  Texts
 * that are not UTF-8 come back with U+FFFD in place of what is not, their
 * ASCII in order.
 */
#include "sandbox.h"

#include <fcntl.h>

#include <cmath>

namespace {

struct Field {
    OUT_kind kind;
    std::string name, value;
};

struct Record {
    std::vector<Field> fields;
    bool has_position = false;
    float lat = 0, lon = 0;
};

[[noreturn]] void fail(const char *what, const std::string &output) {
    std::fprintf(stderr, "writers: %s\n--- output\n%s\n", what, output.c_str());
    std::abort();
}

/* ---- the input ------------------------------------------------------- */

struct Reader {
    std::string_view in;
    bool take(size_t n, std::string_view &out) {
        if (in.size() < n)
            return false;
        out = in.substr(0, n);
        in.remove_prefix(n);
        return true;
    }
    bool byte(unsigned &out) {
        std::string_view b;
        if (!take(1, b))
            return false;
        out = static_cast<unsigned char>(b[0]);
        return true;
    }
    bool text(std::string &out) {
        unsigned n;
        std::string_view t;
        if (!byte(n) || !take(n, t))
            return false;
        out = t;
        return true;
    }
};

std::vector<Record> read_records(Reader r) {
    std::vector<Record> records;
    unsigned head;
    while (r.byte(head)) {
        Record rec;
        if (head & 0x80) {
            std::string_view bits;
            if (!r.take(8, bits))
                break;
            std::memcpy(&rec.lat, bits.data(), 4);
            std::memcpy(&rec.lon, bits.data() + 4, 4);
            rec.has_position = true;
        }
        bool whole = true;
        for (unsigned i = 0; i < (head & 7) && whole; i++) {
            Field f;
            unsigned kind;
            whole = r.byte(kind) && r.text(f.name) && r.text(f.value);
            f.kind = static_cast<OUT_kind>(kind % 5);
            if (whole)
                rec.fields.push_back(f);
        }
        if (!whole)
            break;
        records.push_back(rec);
    }
    return records;
}

/* ---- a strict JSON reader ----------------------------------------------- */

/* A JSON value as read: null, a number (its text), a string (decoded), an
   array or an object (its members in order, duplicates kept). */
struct Json {
    enum { null, number, string, array, object, boolean } type = null;
    std::string text;
    std::vector<Json> items;        /* of an array or an object, in order */
    std::vector<std::string> keys; /* of an object, duplicates kept */
};

struct JsonReader {
    std::string_view s;
    size_t at = 0;
    const std::string &all;

    void need(bool ok, const char *what) {
        if (!ok)
            fail(what, all);
    }
    void blanks() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r'))
            ++at;
    }
    bool peek(char c) { return at < s.size() && s[at] == c; }
    void expect(char c) {
        need(peek(c), "JSON: a character expected is missing");
        ++at;
    }
    unsigned hex4() {
        need(at + 4 <= s.size(), "JSON: short \\u escape");
        unsigned v = 0;
        for (int i = 0; i < 4; i++) {
            char c = s[at++];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            need(d >= 0, "JSON: bad \\u escape");
            v = v * 16 + static_cast<unsigned>(d);
        }
        return v;
    }
    static void utf8(std::string &out, unsigned cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 63)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 63)));
            out.push_back(static_cast<char>(0x80 | (cp & 63)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 63)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 63)));
            out.push_back(static_cast<char>(0x80 | (cp & 63)));
        }
    }
    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            need(at < s.size(), "JSON: unterminated string");
            auto c = static_cast<unsigned char>(s[at]);
            if (c == '"') {
                ++at;
                break;
            }
            need(c >= 0x20, "JSON: raw control character in a string");
            if (c != '\\') {
                out.push_back(static_cast<char>(c));
                ++at;
                continue;
            }
            need(++at < s.size(), "JSON: escape at the end");
            char e = s[at++];
            const char *plain = "\"\\/bfnrt";
            const char *meant = "\"\\/\b\f\n\r\t";
            if (const char *p = e ? std::strchr(plain, e) : nullptr) {
                out.push_back(meant[p - plain]);
                continue;
            }
            need(e == 'u', "JSON: unknown escape");
            unsigned cp = hex4();
            if (cp >= 0xD800 && cp < 0xDC00) {
                need(s.substr(at, 2) == "\\u", "JSON: lone high surrogate");
                at += 2;
                unsigned lo = hex4();
                need(lo >= 0xDC00 && lo < 0xE000, "JSON: bad low surrogate");
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            } else {
                need(cp < 0xDC00 || cp >= 0xE000, "JSON: lone low surrogate");
            }
            utf8(out, cp);
        }
        need(valid_utf8(out), "JSON: a string is not UTF-8");
        return out;
    }
    static bool valid_utf8(std::string_view t) {
        for (size_t i = 0; i < t.size();) {
            auto c = static_cast<unsigned char>(t[i]);
            size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
            if (n == 0 || i + n > t.size())
                return false;
            unsigned cp = n == 1 ? c : c & (0x7F >> n);
            for (size_t k = 1; k < n; k++) {
                auto b = static_cast<unsigned char>(t[i + k]);
                if ((b & 0xC0) != 0x80)
                    return false;
                cp = cp << 6 | (b & 63);
            }
            if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                return false;
            i += n;
        }
        return true;
    }
    /* The number grammar of RFC 8259; answers the token's text. */
    static size_t number_length(std::string_view t) {
        size_t i = 0, n = t.size();
        auto digits = [&] {
            size_t from = i;
            while (i < n && t[i] >= '0' && t[i] <= '9')
                ++i;
            return i - from;
        };
        if (i < n && t[i] == '-')
            ++i;
        if (i < n && t[i] == '0')
            ++i;
        else if (digits() == 0)
            return 0;
        if (i < n && t[i] == '.') {
            ++i;
            if (digits() == 0)
                return 0;
        }
        if (i < n && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < n && (t[i] == '+' || t[i] == '-'))
                ++i;
            if (digits() == 0)
                return 0;
        }
        return i;
    }
    Json value(int depth) {
        need(depth < 8, "JSON: nested too deep");
        blanks();
        Json v;
        need(at < s.size(), "JSON: value missing");
        if (peek('"')) {
            v.type = Json::string;
            v.text = string();
        } else if (peek('{') || peek('[')) {
            bool object = peek('{');
            v.type = object ? Json::object : Json::array;
            ++at;
            blanks();
            if (!peek(object ? '}' : ']')) {
                for (;;) {
                    std::string key;
                    if (object) {
                        blanks();
                        key = string();
                        blanks();
                        expect(':');
                    }
                    v.keys.push_back(key);
                    v.items.push_back(value(depth + 1));
                    blanks();
                    if (!peek(','))
                        break;
                    ++at;
                }
            }
            expect(object ? '}' : ']');
        } else if (s.substr(at, 4) == "null") {
            at += 4;
        } else if (s.substr(at, 4) == "true" || s.substr(at, 5) == "false") {
            v.type = Json::boolean;
            at += s[at] == 't' ? 4 : 5;
        } else {
            size_t n = number_length(s.substr(at));
            need(n > 0, "JSON: no value");
            v.type = Json::number;
            v.text = s.substr(at, n);
            at += n;
        }
        return v;
    }
    Json document() {
        Json v = value(0);
        blanks();
        need(at == s.size(), "JSON: text after the value");
        return v;
    }
};

bool is_json_number(std::string_view t) {
    return !t.empty() && JsonReader::number_length(t) == t.size();
}

/* ---- what each field must read back as ------------------------------------ */

enum class Shown { none, number, text };

Shown meaning(const Field &f) {
    bool number = is_json_number(f.value);
    switch (f.kind) {
    case OUT_text:
        return Shown::text;
    case OUT_number:
        return number ? Shown::number : Shown::none;
    case OUT_measure:
        return number && f.value != "-9999" ? Shown::number : Shown::none;
    case OUT_code:
        return f.value == "--" ? Shown::none : Shown::text;
    case OUT_any:
        break;
    }
    return f.value == "-9999" ? Shown::none : number ? Shown::number : Shown::text;
}

/* A text read back from JSON: the same bytes when they are UTF-8, else
   U+FFFD where they are not, the ASCII kept in order. */
void same_text(const std::string &got, const std::string &sent, const std::string &output) {
    if (JsonReader::valid_utf8(sent)) {
        if (got != sent)
            fail("JSON: a text does not read back", output);
        return;
    }
    if (got.find("\xEF\xBF\xBD") == got.npos)
        fail("JSON: a text that is not UTF-8 has no U+FFFD", output);
    std::string ascii_got, ascii_sent;
    for (char c : got)
        if (static_cast<unsigned char>(c) < 0x80)
            ascii_got.push_back(c);
    for (char c : sent)
        if (static_cast<unsigned char>(c) < 0x80)
            ascii_sent.push_back(c);
    if (ascii_got != ascii_sent)
        fail("JSON: the ASCII of a text is not kept", output);
}

void same_members(const Json &object, const Record &rec, const std::string &output) {
    if (object.type != Json::object || object.items.size() != rec.fields.size())
        fail("JSON: a record's fields do not read back", output);
    for (size_t i = 0; i < rec.fields.size(); i++) {
        const Field &f = rec.fields[i];
        const Json &v = object.items[i];
        same_text(object.keys[i], f.name, output);
        switch (meaning(f)) {
        case Shown::none:
            if (v.type != Json::null)
                fail("JSON: a missing value is not null", output);
            break;
        case Shown::number:
            if (v.type != Json::number || v.text != f.value)
                fail("JSON: a number does not read back", output);
            break;
        case Shown::text:
            if (v.type != Json::string)
                fail("JSON: a text is no string", output);
            same_text(v.text, f.value, output);
            break;
        }
    }
}

void check_json_lines(const std::vector<Record> &records, const std::string &output) {
    size_t at = 0;
    for (const Record &rec : records) {
        size_t nl = output.find('\n', at);
        if (nl == output.npos)
            fail("JSON lines: a record has no line", output);
        JsonReader reader{std::string_view(output).substr(at, nl - at), 0, output};
        same_members(reader.document(), rec, output);
        at = nl + 1;
    }
    if (at != output.size())
        fail("JSON lines: more lines than records", output);
}

bool writes_position(const Record &rec) {
    return rec.has_position && std::isfinite(rec.lat) && std::isfinite(rec.lon) &&
           rec.lat != KEM_MISSING && rec.lon != KEM_MISSING && std::fabs(rec.lat) <= 90;
}

void check_geojson(const std::vector<Record> &records, const std::string &output) {
    JsonReader reader{output, 0, output};
    Json doc = reader.document();
    if (doc.type != Json::object || doc.items.size() != 2 || doc.keys[0] != "type" ||
        doc.items[0].text != "FeatureCollection" || doc.keys[1] != "features" ||
        doc.items[1].type != Json::array ||
        doc.items[1].items.size() != records.size())
        fail("GeoJSON: not a collection of a feature a record", output);
    for (size_t i = 0; i < records.size(); i++) {
        const Json &feature = doc.items[1].items[i];
        if (feature.type != Json::object || feature.items.size() != 3 ||
            feature.keys[0] != "type" || feature.items[0].text != "Feature" ||
            feature.keys[1] != "geometry" || feature.keys[2] != "properties")
            fail("GeoJSON: not a feature", output);
        const Json &geometry = feature.items[1];
        if (!writes_position(records[i])) {
            if (geometry.type != Json::null)
                fail("GeoJSON: a geometry without a position", output);
        } else {
            const Json *coords = geometry.items.size() == 2 ? &geometry.items[1] : nullptr;
            if (coords == nullptr || geometry.items[0].text != "Point" ||
                coords->items.size() != 2 ||
                std::strtof(coords->items[0].text.c_str(), nullptr) != records[i].lon ||
                std::strtof(coords->items[1].text.c_str(), nullptr) != records[i].lat)
                fail("GeoJSON: the point does not read back", output);
        }
        same_members(feature.items[2], records[i], output);
    }
}

/* ---- a strict CSV reader (RFC 4180, lines ended by "\n") ---------------- */

std::vector<std::vector<std::string>> read_csv(const std::string &output) {
    std::vector<std::vector<std::string>> rows;
    size_t at = 0;
    while (at < output.size()) {
        std::vector<std::string> row;
        for (;;) {
            std::string cell;
            if (at < output.size() && output[at] == '"') {
                ++at;
                for (;;) {
                    if (at >= output.size())
                        fail("CSV: unterminated quote", output);
                    if (output[at] == '"') {
                        if (at + 1 < output.size() && output[at + 1] == '"') {
                            cell.push_back('"');
                            at += 2;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    cell.push_back(output[at++]);
                }
            } else {
                while (at < output.size() && output[at] != ',' && output[at] != '\n') {
                    if (output[at] == '"' || output[at] == '\r')
                        fail("CSV: a quote or return in an unquoted cell", output);
                    cell.push_back(output[at++]);
                }
            }
            row.push_back(cell);
            if (at >= output.size())
                fail("CSV: the last line has no end", output);
            if (output[at++] == '\n')
                break;
        }
        rows.push_back(row);
    }
    return rows;
}

void check_csv(const std::vector<std::string> &header, const std::vector<Record> &records,
               const std::string &output) {
    auto rows = read_csv(output);
    size_t first = header.empty() ? 0 : 1;
    if (rows.size() != records.size() + first)
        fail("CSV: not a row a record", output);
    if (!header.empty() && rows[0] != header)
        fail("CSV: the header does not read back", output);
    for (size_t i = 0; i < records.size(); i++) {
        std::vector<std::string> want;
        for (const Field &f : records[i].fields)
            want.push_back(meaning(f) == Shown::none ? "" : f.value);
        if (want.empty())
            want.emplace_back();
        if (rows[first + i] != want)
            fail("CSV: a record does not read back", output);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const OUT_format formats[] = {OUT_json, OUT_csv, OUT_geojson};
    OUT_format format = formats[data[0] % 3];
    std::vector<Record> records =
        read_records({std::string_view(reinterpret_cast<const char *>(data) + 1, size - 1)});
    std::vector<std::string> header;
    if (!records.empty())
        for (const Field &f : records[0].fields)
            header.push_back(f.name);

    std::fflush(stdout);
    int saved = dup(1);
    int file = open("out.txt", O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (saved < 0 || file < 0)
        std::abort();
    dup2(file, 1);
    OUT_writer *out = OUT_open(format);
    if (out == nullptr)
        std::abort();
    std::vector<const char *> names;
    for (const std::string &name : header)
        names.push_back(name.c_str());
    OUT_set_names(out, static_cast<int>(names.size()), names.data());
    for (const Record &rec : records) {
        for (const Field &f : rec.fields)
            OUT_put_field(out, std::string(f.name).c_str(), f.value.c_str(), f.kind);
        if (rec.has_position)
            OUT_put_position(out, rec.lat, rec.lon);
        OUT_end_record(out);
    }
    int lost = OUT_close(out);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string output;
    char buf[4096];
    lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = read(file, buf, sizeof buf)) > 0;)
        output.append(buf, static_cast<size_t>(n));
    close(file);
    if (lost != 0)
        fail("the output was lost", output);

    /* Texts travel as C strings: what follows a NUL is not part of them. */
    for (Record &rec : records)
        for (Field &f : rec.fields) {
            f.name = f.name.c_str();
            f.value = f.value.c_str();
        }
    for (std::string &name : header)
        name = name.c_str();
    if (format == OUT_json)
        check_json_lines(records, output);
    else if (format == OUT_csv)
        check_csv(header, records, output);
    else
        check_geojson(records, output);
    return 0;
}
