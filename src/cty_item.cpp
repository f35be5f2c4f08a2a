/*
 * cty_item.cpp - selection items read into pieces: the keys of the
 * station's fields, the numbers after them, and what keeps an item from
 * being read.
 *
 * An item is cut at ':' into pieces.  An item whose first piece begins
 * with a key ("ST=", "P<", "RA<", ...) is a key expression; any other is
 * a plain identifier, station number or name prefix.  Numbers are read as
 * "%d" or "%f" read them: the longest number at the start, the rest left.
 *
 * Owns no state but the key table, made once from the station's fields.
 * Never prints: item_problem answers why an item cannot be read, and the
 * caller decides whether and how to say it.
 */
#include "cty_select.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cty_select {

/* ------------------------------------------------------------------------
 * The keys
 * ---------------------------------------------------------------------- */

namespace {

/*
 * The keys of the station's fields, in the fields' order, "ST:" and "CN:"
 * after "ST=" and "CN=".  An item that begins with any of these keys is a
 * key expression (CTY_id_cmp).  A pass over the pieces of an item applies
 * the rows in this order, and here order matters: "ST:", "CN:" and "RA<"
 * move the cursor to later pieces, and the rows below them in the same
 * pass test the piece the cursor moved to.
 */
std::vector<Key> make_keys() {
    std::vector<Key> keys;
    for (const StationField &f : station_fields) {
        for (const char *op = f.ops; *op != '\0'; ++op) {
            Test test = static_cast<Test>(f.equal);
            if (*op != '=' && f.equal != FieldTest::range)
                test = Test::number;
            keys.push_back({std::string(f.key) + *op, test, *op, &f});
        }
        if (f.next) {
            Test test = f.equal == FieldTest::state ? Test::state_next : Test::region_next;
            keys.push_back({std::string(f.key) + ':', test, ':', &f});
        }
    }
    return keys;
}

/* The row of the key a piece begins with, or -1.  Keys exclude each other,
   so a piece has at most one.  A piece of its own ("ST", "CN") stands for
   a key without its ':'. */
int piece_key(const char *piece) {
    const std::vector<Key> &keys = all_keys();
    size_t len = std::strlen(piece);
    for (size_t k = 0; k < keys.size(); ++k) {
        const std::string &key = keys[k].key;
        bool found = keys[k].op == ':' ? len == key.size() - 1 &&
                                             strnicmp(piece, key.c_str(), static_cast<int>(len)) == 0
                                       : has_key(piece, key);
        if (found)
            return static_cast<int>(k);
    }
    return -1;
}

} // namespace

const std::vector<Key> &all_keys() {
    static const std::vector<Key> keys = make_keys();
    return keys;
}

bool has_key(const char *text, const std::string &key) {
    return strnicmp(text, key.c_str(), static_cast<int>(key.size())) == 0;
}

bool reads_numbers(Test t) {
    return t == Test::range || t == Test::number || t == Test::number_text;
}

/* ------------------------------------------------------------------------
 * Pieces
 * ---------------------------------------------------------------------- */

namespace {

/* A whole number read as by "%d"; false when there is none.  `rest` tells
   whether characters follow it. */
bool read_int(const char *text, int &out, bool &rest) {
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text)
        return false;
    out = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
    rest = *end != '\0';
    return true;
}

/* A real number read as by "%f"; false when there is none. */
bool read_float(const char *text, float &out, bool &rest) {
    const char *end = nullptr;
    bool read = read_real(text, out, &end);
    rest = read && *end != '\0';
    return read;
}

Piece read_piece(const char *text) {
    Piece p;
    p.text = text;
    p.key = piece_key(text);
    p.whole_ok = read_float(text, p.whole, p.whole_rest);
    const Key *k = p.key_row();
    if (k == nullptr)
        return p;
    if (k->test == Test::range || (k->test == Test::number && !k->field->whole)) {
        float v = 0;
        p.after_ok = read_float(p.arg(), v, p.after_rest);
        p.after = v;
    } else if (k->test == Test::number) {
        int v = 0;
        p.after_ok = read_int(p.arg(), v, p.after_rest);
        p.after = v;
    }
    return p;
}

} // namespace

const char *Piece::arg() const {
    return text.c_str() + std::min(all_keys()[key].key.size(), text.size());
}

std::vector<Piece> read_pieces(const char *item) {
    std::vector<Piece> pieces;
    int n = 0;
    char **texts = nullptr;
    if (parse_string(item, ':', &n, &texts) != 0)
        return pieces;
    try {
        for (int i = 0; i < n; ++i)
            pieces.push_back(read_piece(texts[i]));
    } catch (...) {
        free_parsed_array(n, texts);
        throw;
    }
    free_parsed_array(n, texts);
    return pieces;
}

/* ------------------------------------------------------------------------
 * Items that cannot be read
 * ---------------------------------------------------------------------- */

namespace {

/* The length of what looks like a key with its operator ("Foo=" of
   "Foo=3"): letters, digits and '_' after a letter, then '=', '<' or '>';
   0 when the text does not look like one. */
size_t key_like(const std::string &text) {
    size_t n = 0;
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return 0;
    while (n < text.size() && (std::isalnum(static_cast<unsigned char>(text[n])) || text[n] == '_'))
        ++n;
    return n < text.size() && std::strchr("=<>", text[n]) ? n + 1 : 0;
}

std::string number_problem(const Piece &p, const char *what) {
    const char *arg = p.arg();
    if (!p.after_ok)
        return *arg == '\0' ? p.key_row()->key + " needs " + what
                            : std::string(arg) + " is not " + what;
    if (p.after_rest) {
        char number[32];
        std::snprintf(number, sizeof number, "%g", p.after);
        return std::string("only ") + number + " of " + arg + " is read as " + what;
    }
    return "";
}

std::string range_problem(const std::vector<Piece> &pieces, size_t at) {
    if (at + 2 >= pieces.size())
        return "RA< needs a latitude, a longitude and a radius in km (RA<lat:lon:km)";
    std::string why = number_problem(pieces[at], "a latitude");
    if (!why.empty())
        return why;
    if (std::fabs(pieces[at].after) > 90)
        return "latitude " + std::string(pieces[at].arg()) + " is beyond the poles";
    const Piece &lon = pieces[at + 1], &km = pieces[at + 2];
    if (!lon.whole_ok || lon.whole_rest)
        return lon.text + " is not a longitude";
    if (!km.whole_ok || km.whole_rest || km.whole < 0)
        return km.text + " is not a radius in km";
    return "";
}

/* Why one keyed piece cannot be read; `at` moves past the pieces it takes. */
std::string piece_problem(const std::vector<Piece> &pieces, size_t &at) {
    const Piece &p = pieces[at];
    const Key &k = *p.key_row();
    size_t len = std::strlen(p.arg());
    switch (k.test) {
    case Test::name:
        return len == 0 ? "Name= needs the start of a name" : "";
    case Test::state:
        return len == 2 || len == 5 ? "" : "ST= takes a state (ST=IN) or a state and region (ST=IN_US)";
    case Test::region:
        return len == 2 ? "" : "CN= takes a region of two letters (CN=US)";
    case Test::id:
        return len == 0 ? "ID= needs an identifier" : "";
    case Test::state_next:
    case Test::region_next:
        if (at + 1 >= pieces.size())
            return k.key + " needs a value in the piece after it";
        ++at;
        return "";
    case Test::range: {
        std::string why = range_problem(pieces, at);
        at += 2;
        return why;
    }
    case Test::number:
        return number_problem(p, "a number");
    case Test::number_text:
        return len == 5 && std::all_of(p.arg(), p.arg() + 5, [](char c) { return is_digit(c); })
                   ? ""
                   : "WMO= takes a station number of five digits (WMO=03772)";
    }
    return "";
}

} // namespace

std::string item_problem(const std::vector<Piece> &pieces) {
    if (pieces.empty())
        return "";
    if (pieces[0].key < 0) {
        size_t n = key_like(pieces[0].text);
        return n > 0 ? pieces[0].text.substr(0, n) + " is not a selection key" : "";
    }
    for (size_t at = 0; at < pieces.size(); ++at) {
        const Piece &p = pieces[at];
        if (p.key < 0) {
            size_t n = key_like(p.text);
            return n > 0 ? p.text.substr(0, n) + " is not a selection key"
                         : p.text + " is not a key expression (Key=value)";
        }
        std::string why = piece_problem(pieces, at);
        if (!why.empty())
            return why;
    }
    return "";
}

} // namespace cty_select
