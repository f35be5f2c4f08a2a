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
 * A list is prepared once (CTY_select): its items split into pieces, the
 * key of every piece found and its number read, and the plain forms of
 * all items gathered into hash tables, so that a thousand identifiers
 * cost about what one does.  The record's own texts ("%2s_%2s", "%05d")
 * are formed only when an item compares with them.  Where the texts alone
 * decide, a sieve of 16-bit signatures of the plain forms, and of the
 * states that "ST=" items ask for, rules out most records at once, even
 * before a reader has copied their texts (CTY_select_words).
 *
 * A missing value (-9999) satisfies no comparison, and a station without
 * a position lies within no radius.
 *
 * State: the selection that CTY_data_cmp prepared for the last list it
 * was given, kept while the list stays the same.  Nothing is printed: an
 * item that cannot be read (an unreadable number, a key without the pieces
 * it needs) does not match, and CTY_select_problem tells the caller why; a
 * selection that cannot be prepared for want of memory matches nothing.
 */
#include "cty_select.h"
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace cty_select;

namespace {

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

/* Case folding as stricmp does it in the C locale, which programs keep. */
char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string folded(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        c = fold(c);
    return out;
}

/* A short text folded into `out`, which holds N - 1 characters. */
template <size_t N> std::string_view folded(const char (&text)[N], char (&out)[N]) {
    size_t n = 0;
    for (; n < N - 1 && text[n] != '\0'; ++n)
        out[n] = fold(text[n]);
    return {out, n};
}

/* stricmp's equality, without its per-character calls. */
bool same_text(const char *a, const char *b) {
    for (; fold(*a) == fold(*b); ++a, ++b) {
        if (*a == '\0')
            return true;
    }
    return false;
}

/* ------------------------------------------------------------------------
 * A record as the tests see it
 * ---------------------------------------------------------------------- */

template <size_t N> void copy_field(char (&out)[N], const char *field, size_t size) {
    size_t n = strnlen(field, std::min(size, N - 1));
    std::memcpy(out, field, n);
    out[n] = '\0';
}

/* The record's texts, terminated, and the forms some tests compare with,
   made when first asked for. */
class Station {
  public:
    explicit Station(const CTY_data &d) : data(d) {
        copy_field(name, d.name, sizeof d.name);
        copy_field(state, d.state, sizeof d.state);
        copy_field(region, d.region, sizeof d.region);
        copy_field(id, d.id, sizeof d.id);
    }
    const char *state_region() {
        if (state_region_[0] == '\0')
            std::snprintf(state_region_, sizeof state_region_, "%2.2s_%2.2s", state, region);
        return state_region_;
    }
    const char *number() {
        if (number_[0] == '\0')
            *station_number(number_, data.wmo) = '\0';
        return number_;
    }

    const CTY_data &data;
    char name[sizeof(CTY_data::name) + 1];
    char state[sizeof(CTY_data::state) + 1];
    char region[sizeof(CTY_data::region) + 1];
    char id[sizeof(CTY_data::id) + 1];

  private:
    char state_region_[8] = "";
    char number_[16] = "";
};

/* ST= text: the state (2 characters) or state_region (5). */
bool state_matches(const char *text, Station &s) {
    switch (std::strlen(text)) {
    case 2:
        return same_text(text, s.state);
    case 5:
        return same_text(text, s.state_region());
    default:
        return false;
    }
}

/* ------------------------------------------------------------------------
 * Prepared items
 * ---------------------------------------------------------------------- */

/* An item whose first piece begins with a key; any other item can match
   only as a plain selector. */
struct Keyed {
    int index;
    std::vector<Piece> pieces;
};

/* The cursor over the pieces of an item during one pass. */
struct Cursor {
    const std::vector<Piece> &pieces;
    size_t at;

    const Piece &piece() const { return pieces[at]; }
    bool has_more(size_t n) const { return at + n < pieces.size(); }
};

bool range_test(Cursor &c, const Station &s) {
    const Piece &p = c.piece();
    if (!c.has_more(2) || !p.after_ok)
        return false;
    const Piece &lon = c.pieces[c.at + 1], &range = c.pieces[c.at + 2];
    if (!lon.whole_ok || !range.whole_ok)
        return false;
    c.at += 2;
    float dist = calc_earth_dist(static_cast<float>(p.after), lon.whole, s.data.lat, s.data.lon);
    return dist >= 0 && dist <= range.whole;
}

/* The test of row `k` on the piece under the cursor, which begins with
   its key. */
bool run_test(int k, Cursor &c, Station &s) {
    const Key &key = all_keys()[k];
    const Piece &p = c.piece();
    switch (key.test) {
    case Test::name:
        return *p.arg() != '\0' &&
               strnicmp(p.arg(), s.name, static_cast<int>(std::strlen(p.arg()))) == 0;
    case Test::state:
        return state_matches(p.arg(), s);
    case Test::state_next:
    case Test::region_next:
        if (!c.has_more(1))
            return false;
        ++c.at;
        return key.test == Test::state_next ? state_matches(c.piece().text.c_str(), s)
                                            : same_text(c.piece().text.c_str(), s.region);
    case Test::region:
        return same_text(p.arg(), s.region);
    case Test::id:
        return same_text(p.arg(), s.id);
    case Test::range:
        return range_test(c, s);
    case Test::number: {
        /* A missing value satisfies no comparison. */
        double value = key.field->number(s.data);
        return p.after_ok && value != KEM_MISSING && compare(value, key.op, p.after);
    }
    case Test::number_text:
        return s.data.wmo != KEM_MISSING && same_text(p.arg(), s.number());
    }
    return false;
}

/* One pass: the rows in table order, each on the piece then under the
   (possibly moved) cursor.  A piece has one row, so a row applies when
   the piece under the cursor has it and it comes later than the last. */
bool run_pass(Cursor &c, Station &s) {
    bool mark = false;
    for (int next = 0; c.piece().key >= next;) {
        int k = c.piece().key;
        if (run_test(k, c, s))
            mark = true;
        next = k + 1;
    }
    return mark;
}

bool pieces_match(const Keyed &item, Station &s) {
    Cursor c{item.pieces, 0};
    bool mark = false;
    for (; c.at < item.pieces.size(); ++c.at) {
        mark = run_pass(c, s);
        if (!mark)
            break;
    }
    return mark;
}

/* Could an item of this text equal a station number as "%05d"? */
bool number_like(std::string_view text) {
    return text.size() == 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

/* ------------------------------------------------------------------------
 * The prepared selection
 * ---------------------------------------------------------------------- */

struct CTY_select {
    using Index = std::unordered_map<std::string_view, int>; /* text -> first item */

    int count = 0;
    std::vector<Keyed> keyed;                  /* in item order */
    std::vector<std::string> texts;            /* the plain forms, owning what the indexes view */
    Index ids;                                 /* folded items as identifiers */
    Index numbers;                             /* five-digit items */
    Index prefixes;                            /* folded items of 5 to 20 characters */
    std::bitset<256> id_starts, prefix_starts; /* first bytes of their keys */
    unsigned long prefix_lengths = 0;          /* bit n: some prefix has n characters */
    bool texts_decide = true;                  /* no item reads a number of the record */
    /* A first sieve for texts_decide: the signatures of the plain forms,
       and the states that keyed items ask for with a first "ST=xx". */
    std::bitset<1 << 16> plain_sigs;
    std::bitset<1 << 16> states;
    bool states_sieve = true; /* every keyed item asks for a state */
    /* What is known of each item: why it cannot be read (empty when it
       can), whether it is plain, and then its text and whether a record
       noted with CTY_select_note answered it. */
    struct Item {
        std::string problem;
        bool plain = false;
        int text = -1; /* in `texts` */
        bool noted = false;
    };
    std::vector<Item> items;
    /* The plain texts that noted records answered. */
    std::unordered_set<std::string_view> answered;
    void note(Station &s);

    /* The centre of the first item that holds an RA< position. */
    bool has_centre = false;
    float centre_lat = 0, centre_lon = 0;
    void find_centre(const std::vector<Piece> &pieces);

    void add_sieve(const Keyed &item);
    bool may_match(std::string_view name, std::string_view state, std::string_view id) const;

    void add(int index, const char *item);
    int plain_match(Station &s) const;
    int match(const CTY_data &d) const;
};

namespace {

constexpr size_t kNameMax = sizeof(CTY_data::name) - 1;
constexpr size_t kIdMax = sizeof(CTY_data::id) - 1;

/* Eight packed characters with the ASCII capitals made small, all at once:
   a byte of 'A' to 'Z' alone carries into its top bit in one sum and not
   in the other. */
uint64_t fold8(uint64_t x) {
    constexpr uint64_t ones = 0x0101010101010101ull, tops = ones * 0x80;
    uint64_t low = x & ~tops;
    uint64_t from_a = low + ones * (0x80 - 'A');
    uint64_t past_z = low + ones * (0x80 - 'Z' - 1);
    return x | ((from_a ^ past_z) & ~x & tops) >> 2;
}

/* The first 8 characters of a text (fewer when it is shorter) packed in
   one number, the rest zero; no byte past the text is read.  Short texts
   take two loads that overlap. */
uint64_t first8(const char *text, size_t n) {
    auto load = [text](size_t at, auto bytes) {
        std::memcpy(&bytes, text + at, sizeof bytes);
        return uint64_t{bytes};
    };
    if constexpr (std::endian::native != std::endian::little) {
        uint64_t packed = 0;
        for (size_t i = 0; i < std::min<size_t>(n, 8); ++i)
            packed |= uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
        return packed;
    } else if (n >= 8) {
        return load(0, uint64_t{});
    } else if (n >= 4) {
        return load(0, uint32_t{}) | load(n - 4, uint32_t{}) << (8 * (n - 4));
    } else if (n >= 2) {
        return load(0, uint16_t{}) | load(n - 2, uint16_t{}) << (8 * (n - 2));
    }
    return n == 1 ? static_cast<unsigned char>(text[0]) : 0;
}

/* The first 8 characters of a text, folded, and its length, in 16 bits:
   equal folded texts have equal signatures. */
unsigned signature(const char *text, size_t n) {
    uint64_t packed = first8(text, n);
    uint64_t mixed = fold8(packed) * 0x9E3779B97F4A7C15ull ^ n * 0xC2B2AE3D27D4EB4Full;
    return static_cast<unsigned>(mixed >> 48);
}

/* Two characters, folded, as one number; the second may be the end. */
unsigned state_code(const char *text) {
    return static_cast<unsigned char>(fold(text[0])) |
           static_cast<unsigned>(static_cast<unsigned char>(fold(text[1]))) << 8;
}

void enter(CTY_select::Index &index, std::string_view key, int item) {
    index.emplace(key, item); /* the first item of a text stays */
}

int lookup(const CTY_select::Index &index, std::string_view key) {
    auto found = index.find(key);
    return found == index.end() ? INT_MAX : found->second;
}

} // namespace

void CTY_select::add(int index, const char *item) {
    std::string_view text = texts.emplace_back(folded(item));
    auto first = static_cast<unsigned char>(text.empty() ? '\0' : text[0]);
    if (text.size() <= kIdMax || (text.size() > 4 && text.size() <= kNameMax))
        plain_sigs.set(signature(text.data(), text.size()));
    if (text.size() <= kIdMax) {
        enter(ids, text, index);
        id_starts.set(first);
    }
    if (text.size() > 4 && text.size() <= kNameMax) {
        enter(prefixes, text, index);
        prefix_starts.set(first);
        prefix_lengths |= 1ul << text.size();
    }
    if (number_like(text)) {
        enter(numbers, text, index);
        texts_decide = false;
    }
    Keyed k{index, read_pieces(item)};
    for (const Piece &p : k.pieces)
        if (p.key >= 0 && reads_numbers(p.key_row()->test))
            texts_decide = false;
    if (!has_centre)
        find_centre(k.pieces);
    items[index].problem = item_problem(k.pieces);
    if (!k.pieces.empty() && k.pieces.front().key >= 0) {
        add_sieve(k);
        keyed.push_back(std::move(k));
    } else {
        items[index].plain = true;
        items[index].text = static_cast<int>(texts.size() - 1);
    }
}

/* The centre of the item's first "RA<lat:lon" with a range piece after it
   (read or not): a finite position with a latitude within the poles. */
void CTY_select::find_centre(const std::vector<Piece> &pieces) {
    for (size_t i = 0; i + 2 < pieces.size(); ++i) {
        const Piece &p = pieces[i], &lon = pieces[i + 1];
        if (p.key < 0 || p.key_row()->test != Test::range || !p.after_ok || !lon.whole_ok ||
            !std::isfinite(p.after) || !std::isfinite(lon.whole) || std::fabs(p.after) > 90)
            continue;
        has_centre = true;
        centre_lat = static_cast<float>(p.after);
        centre_lon = lon.whole;
        return;
    }
}

/* An item whose first piece is "ST=" and two characters matches only
   records of that state: the first pass fails on any other. */
void CTY_select::add_sieve(const Keyed &item) {
    const Piece &first = item.pieces.front();
    if (all_keys()[first.key].test == Test::state && std::strlen(first.arg()) == 2)
        states.set(state_code(first.arg()));
    else
        states_sieve = false;
}

/* False when a record of these texts is ruled out by every item for
   certain; true when the full match must decide. */
bool CTY_select::may_match(std::string_view name, std::string_view state,
                           std::string_view id) const {
    if (count <= 0 || !texts_decide)
        return true;
    if (!keyed.empty()) {
        if (!states_sieve || state.size() > 2)
            return true;
        char code[3] = "";
        std::memcpy(code, state.data(), state.size());
        if (states.test(state_code(code)))
            return true;
    }
    if (plain_sigs.test(signature(id.data(), id.size())))
        return true;
    if (prefix_lengths == 0)
        return false;
    unsigned long lengths = prefix_lengths; /* those the name is long enough for */
    if (name.size() < kNameMax)
        lengths &= (2ul << name.size()) - 1;
    for (; lengths != 0; lengths &= lengths - 1) {
        auto n = static_cast<size_t>(__builtin_ctzl(lengths));
        if (plain_sigs.test(signature(name.data(), n)))
            return true;
    }
    return false;
}

/* The first item that matches as an identifier, station number or name
   prefix; INT_MAX for none. */
int CTY_select::plain_match(Station &s) const {
    int best = INT_MAX;
    char id[sizeof s.id];
    if (id_starts.test(static_cast<unsigned char>(fold(s.id[0]))))
        best = lookup(ids, folded(s.id, id));
    if (!numbers.empty() && std::strlen(s.number()) == 5)
        best = std::min(best, lookup(numbers, s.number()));
    if (prefix_lengths != 0 && prefix_starts.test(static_cast<unsigned char>(fold(s.name[0])))) {
        char buf[sizeof s.name];
        std::string_view name = folded(s.name, buf);
        for (size_t n = 5; n <= name.size(); ++n) {
            if (prefix_lengths & (1ul << n))
                best = std::min(best, lookup(prefixes, name.substr(0, n)));
        }
    }
    return best;
}

void CTY_select::note(Station &s) {
    auto hit = [this](const Index &index, std::string_view key) {
        auto found = index.find(key);
        if (found != index.end())
            answered.insert(found->first);
    };
    char id[sizeof s.id];
    hit(ids, folded(s.id, id));
    if (!numbers.empty() && std::strlen(s.number()) == 5)
        hit(numbers, s.number());
    if (prefix_lengths != 0) {
        char buf[sizeof s.name];
        std::string_view name = folded(s.name, buf);
        for (size_t n = 5; n <= name.size(); ++n)
            if (prefix_lengths & (1ul << n))
                hit(prefixes, name.substr(0, n));
    }
}

int CTY_select::match(const CTY_data &d) const {
    if (count <= 0)
        return 1;
    Station s(d);
    int best = plain_match(s);
    for (const Keyed &item : keyed) {
        if (item.index >= best)
            break;
        if (pieces_match(item, s))
            return item.index;
    }
    return best == INT_MAX ? -1 : best;
}

namespace {

/* The selection CTY_data_cmp prepared last, and the list it was made of. */
struct Cache {
    std::vector<std::string> items;
    std::vector<bool> present;
    std::unique_ptr<CTY_select> sel;

    bool holds(int numid, char **ids) const {
        if (sel == nullptr || static_cast<size_t>(numid) != items.size())
            return false;
        for (int i = 0; i < numid; ++i) {
            if ((ids[i] != nullptr) != present[i] || (ids[i] != nullptr && items[i] != ids[i]))
                return false;
        }
        return true;
    }
};

Cache cache;

const CTY_select *cached_selection(int numid, char **ids) {
    if (cache.holds(numid, ids))
        return cache.sel.get();
    cache.sel.reset(CTY_select_new(numid, ids));
    try {
        cache.items.assign(static_cast<size_t>(numid), std::string());
        cache.present.assign(static_cast<size_t>(numid), false);
        for (int i = 0; i < numid; ++i) {
            cache.present[i] = ids[i] != nullptr;
            if (ids[i] != nullptr)
                cache.items[i] = ids[i];
        }
    } catch (...) {
        cache.sel.reset();
    }
    return cache.sel.get();
}

} // namespace

CTY_select *CTY_select_new(int numid, char **ids) {
    try {
        auto sel = std::make_unique<CTY_select>();
        if (numid <= 0 || ids == nullptr)
            return sel.release();
        sel->count = numid;
        sel->texts.reserve(static_cast<size_t>(numid)); /* the indexes view into them */
        sel->items.resize(static_cast<size_t>(numid));
        for (int i = 0; i < numid; ++i) {
            if (ids[i] != nullptr)
                sel->add(i, ids[i]);
        }
        return sel.release();
    } catch (...) {
        return nullptr;
    }
}

int CTY_select_cmp(const CTY_select *sel, const CTY_data *data) {
    if (sel == nullptr || data == nullptr)
        return -1;
    try {
        return sel->match(*data);
    } catch (...) {
        return -1;
    }
}

int CTY_select_texts(const CTY_select *sel, const CTY_data *data) {
    if (sel == nullptr || data == nullptr || !sel->texts_decide)
        return 1;
    std::string_view name(data->name, strnlen(data->name, sizeof data->name));
    std::string_view state(data->state, strnlen(data->state, sizeof data->state));
    if (!sel->may_match(name, state, {data->id, strnlen(data->id, sizeof data->id)}))
        return 0;
    return CTY_select_cmp(sel, data) != -1 ? 1 : 0;
}

int CTY_select_words(const CTY_select *sel, const char *name, int name_len, const char *state,
                     int state_len, const char *id, int id_len) {
    if (sel == nullptr || name == nullptr || state == nullptr || id == nullptr || name_len < 0 ||
        state_len < 0 || id_len < 0)
        return 1;
    /* the texts as a record would hold them */
    std::string_view n(name, std::min<size_t>(name_len, sizeof(CTY_data::name) - 1));
    std::string_view s(state, std::min<size_t>(state_len, sizeof(CTY_data::state) - 1));
    std::string_view i(id, std::min<size_t>(id_len, sizeof(CTY_data::id) - 1));
    return sel->may_match(n, s, i) ? 1 : 0;
}

int CTY_select_centre(const CTY_select *sel, float *lat, float *lon) {
    if (sel == nullptr || !sel->has_centre)
        return 0;
    if (lat != nullptr)
        *lat = sel->centre_lat;
    if (lon != nullptr)
        *lon = sel->centre_lon;
    return 1;
}

const char *CTY_select_problem(const CTY_select *sel, int item) {
    if (sel == nullptr || item < 0 || item >= static_cast<int>(sel->items.size()) ||
        sel->items[item].problem.empty())
        return nullptr;
    return sel->items[item].problem.c_str();
}

int CTY_select_note(CTY_select *sel, const CTY_data *data) {
    if (sel == nullptr || data == nullptr)
        return -1;
    try {
        Station s(*data);
        sel->note(s);
    } catch (...) {
        return -1;
    }
    return 0;
}

int CTY_select_noted(const CTY_select *sel, int item) {
    if (sel == nullptr || item < 0 || item >= static_cast<int>(sel->items.size()) ||
        !sel->items[item].plain)
        return -1;
    return sel->answered.count(sel->texts[sel->items[item].text]) != 0 ? 1 : 0;
}

void CTY_select_free(CTY_select *sel) {
    delete sel;
}

int CTY_data_cmp(int numid, char **ids, const CTY_data *data) {
    if (numid <= 0 || ids == nullptr)
        return 1;
    if (data == nullptr)
        return -1;
    return CTY_select_cmp(cached_selection(numid, ids), data);
}

int CTY_id_cmp(const char *ids, const char *id) {
    if (ids == nullptr)
        return 0;
    for (const Key &key : all_keys()) {
        if (has_key(ids, key.key))
            return 1;
    }
    return id != nullptr && stricmp(ids, id) == 0 ? 1 : 0;
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
