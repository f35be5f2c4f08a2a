/*
 * cty_locate.cpp - the station location table (CTY_).
 *
 * One keyed table (table.cpp), filled by CTY_store with the stations of
 * the database inside a plot domain and searched by identifier, station
 * number or position (kind 3 keys stations by their position in tenths of
 * a degree).  Each station may carry a block of the caller's, made and
 * filled by the entry function as the station is stored.
 *
 * State: the table, the kind of its records, and the settings callers make
 * beforehand (attached-block size, entry function, identifier kind).  The
 * station layer owns the blocks it attaches; CTY_clear frees them with the
 * table.  Lookups answer 0 or null when nothing is found or no table is
 * stored; CTY_store reports what the database reader and the map set-up
 * report, and nothing else.
 */
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

/* ------------------------------------------------------------------------
 * Module state and settings
 * ---------------------------------------------------------------------- */

namespace {

struct Settings {
    int block_size = 0; /* bytes of the block attached to each station */
    int (*enter_func)(CTY_data *city, void *block) = nullptr;
    int id_type = 0; /* how kinds 2 and 3 name their stations */
};

struct Position {
    float lat, lon;
};

struct Stations {
    TAB_table tab{}; /* empty until the first CTY_store */
    int kind = 0;    /* record kind of the table: 1, 2 or 3 */
    /* Kind 3: the position of each record, for choosing the nearest. */
    std::unordered_map<const void *, Position> positions;
};

Settings settings;
Stations stations;

constexpr size_t kTextMax = 32; /* room for any key text made here */

bool has_table() {
    return stations.tab.tab_size > 0 && stations.kind >= 1 && stations.kind <= 3;
}

void **block_slot(void *record) {
    if (stations.kind == 1)
        return &static_cast<stat_FULL_data *>(record)->ptr;
    return &static_cast<stat_XY_data *>(record)->ptr;
}

/* A fresh attached block, filled by the entry function; null when no
   block is wanted or memory runs out. */
void *make_block(CTY_data &city) {
    if (settings.block_size <= 0)
        return nullptr;
    void *block = std::calloc(1, static_cast<size_t>(settings.block_size));
    if (block != nullptr && settings.enter_func != nullptr)
        settings.enter_func(&city, block);
    return block;
}

} // namespace

int CTY_data_size(int size) {
    settings.block_size = size;
    return 0;
}

int CTY_enter_func(int (*func)(CTY_data *city, void *block)) {
    settings.enter_func = func;
    return 0;
}

int CTY_set_id_type(int type) {
    settings.id_type = type;
    return 0;
}

/* ------------------------------------------------------------------------
 * Key texts
 * ---------------------------------------------------------------------- */

namespace {

/* The station number as "%05d", after a 'b' for the region "B_". */
void number_text(const CTY_data &city, char *out) {
    if (std::strcmp(city.region, "B_") == 0)
        *out++ = 'b';
    *station_number(out, city.wmo) = '\0';
}

void located_id(const CTY_data &city, const char *number, char *out) {
    bool dashed = city.id[0] != '\0' && city.id[1] == '-';
    if (settings.id_type == 1)
        std::snprintf(out, kTextMax, "%s", city.wmo == 99999 ? city.id : number);
    else if (settings.id_type == 2 && dashed && std::strcmp(city.region, "B_") == 0)
        std::snprintf(out, kTextMax, "%s", number);
    else if (settings.id_type == 2 && dashed)
        wmo_to_id(out, city.wmo);
    else
        std::snprintf(out, kTextMax, "%s", dashed ? number : city.id);
}

/* A value that rounds to zero prints as "0", never as "-0" ("%.0f" rounds
   as nearbyint does in the default rounding mode). */
double without_negative_zero(double v) {
    return std::nearbyint(v) == 0 ? 0.0 : v;
}

/* Position in tenths of a degree (already multiplied by 10). */
void location_text(double a, double o, char *out) {
    if (!(std::fabs(a) < 1e6) || !(std::fabs(o) < 1e6)) {
        std::snprintf(out, kTextMax, "?");
        return;
    }
    std::snprintf(out, kTextMax, "%5.0f%6.0f", without_negative_zero(a), without_negative_zero(o));
}

/* ------------------------------------------------------------------------
 * Storing
 * ---------------------------------------------------------------------- */

struct Selection {
    int count = 0;
    char **items = nullptr;
    int numid = 0; /* 0: every station */
};

Selection read_selection() {
    Selection s;
    RES_getvals("identifier", &s.count, &s.items);
    s.numid = s.count;
    if (s.count == 1 && stricmp(s.items[0], "all") == 0)
        s.numid = 0;
    return s;
}

/* The located station; a located identifier longer than its field is cut
   there, but the station is still keyed under the whole text. */
CTY_locate locate(const CTY_data &city, const char *id, float x, float y) {
    CTY_locate loc{};
    size_t len = std::min(std::strlen(id), sizeof loc.id - 1);
    std::memcpy(loc.id, id, len);
    loc.id[len] = '\0';
    loc.wmo = city.wmo;
    loc.x = x;
    loc.y = y;
    loc.el = city.el;
    loc.pr = city.prior;
    return loc;
}

/* The record just entered, the last in entry order, lies at the city's
   position.  Without memory for it, the record is found but never
   preferred by its distance. */
void remember_position(const CTY_data &city) {
    try {
        stations.positions[stations.tab.last_ptr->data] = {city.lat, city.lon};
    } catch (...) {
    }
}

int enter_station(CTY_data &city, const char *number, float x, float y) {
    void *block = make_block(city);
    int result;
    if (stations.kind == 1) {
        stat_FULL_data rec{city, block};
        result = TAB_enter(&stations.tab, &rec, city.id, number);
    } else {
        char id[kTextMax];
        located_id(city, number, id);
        stat_XY_data rec{locate(city, id, x, y), block};
        if (stations.kind == 2) {
            result = TAB_enter(&stations.tab, &rec, id, number);
        } else {
            char where[kTextMax];
            location_text(10.0 * city.lat, 10.0 * city.lon, where);
            result = TAB_enter(&stations.tab, &rec, id, number, where);
            if (result == 0)
                remember_position(city);
        }
    }
    if (result != 0)
        std::free(block);
    return result;
}

void store_station(CTY_data &city, const Selection &sel, int prior) {
    if (city.prior > prior)
        return;
    char number[kTextMax];
    number_text(city, number);
    if (CTY_data_cmp(sel.numid, sel.items, &city) == -1)
        return;
    float x, y;
    if (MAP_ll_to_xy(city.lat, city.lon, &x, &y) != 0 || !MAP_inside(x, y))
        return;
    enter_station(city, number, x, y);
}

size_t record_size(int kind) {
    return kind == 1 ? sizeof(stat_FULL_data) : sizeof(stat_XY_data);
}

void read_stations(int city_fd, int num_stats, int prior) {
    int kind = stations.kind;
    if (kind < 1 || kind > 3)
        return;
    MESS_print(M_mess, "Reading the city database file...\n");
    Selection sel = read_selection();
    if (prior == KEM_MISSING)
        prior = CTY_get_prior();
    CTY_rewind(city_fd);
    int keys = kind == 3 ? 3 : 2;
    if (TAB_create(&stations.tab, std::max(num_stats, 1), static_cast<int>(record_size(kind)),
                   keys) == 0) {
        CTY_data city;
        while (CTY_read(city_fd, &city) > 0)
            store_station(city, sel, prior);
    }
    free_parsed_array(sel.count, sel.items);
}

} // namespace

int CTY_store(const char *city_file, int type, const Domain *domain, int prior) {
    int num_stats = 0;
    int city_fd = CTY_open_file(city_file, &num_stats);
    if (city_fd < 0)
        return 0;
    CTY_clear();
    stations.kind = type;
    if (MAP_setup(domain) == 0)
        read_stations(city_fd, num_stats, prior);
    return city_fd;
}

int CTY_make_entry_simple(const char *id, const char *wmo) {
    if (stations.kind != 1 || !has_table() || id == nullptr || wmo == nullptr)
        return 0;
    CTY_data city{};
    CTY_data_init(&city);
    city.prior = KEM_MISSING;
    std::snprintf(city.id, sizeof city.id, "%s", id);
    long number = std::strtol(wmo, nullptr, 10);
    city.wmo = static_cast<int>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
    stat_FULL_data rec{city, make_block(city)};
    if (TAB_enter(&stations.tab, &rec, id, wmo) != 0)
        std::free(rec.ptr);
    return 0;
}

/* ------------------------------------------------------------------------
 * Searching
 * ---------------------------------------------------------------------- */

namespace {

bool digits_only(const char *text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

/* Key 2 under the station number of an identifier, else key 1. */
int number_or_identifier(const char *id, char *key) {
    int wmo;
    if (id_to_wmo(id, &wmo) == 0) {
        *station_number(key, wmo) = '\0';
        return 2;
    }
    std::snprintf(key, kTextMax, "%s", id);
    return 1;
}

int search_key(const char *id, char *key) {
    size_t len = std::strlen(id);
    if ((len == 5 && digits_only(id, 0, 5)) || (len == 6 && id[0] == 'b')) {
        std::snprintf(key, kTextMax, "%s", id);
        return 2;
    }
    if (len == 5 && id[0] >= 'A' && id[0] <= 'Z' && digits_only(id, 2, 5))
        return number_or_identifier(id, key);
    std::snprintf(key, kTextMax, "%s", id);
    return 1;
}

int data_key(const char *id, char *key) {
    size_t len = std::strlen(id);
    if (len == 5 && id[0] >= '0' && id[0] <= '9') {
        std::snprintf(key, kTextMax, "%s", id);
        return 2;
    }
    if (len == 4 && id[0] >= 'a' && id[0] <= 'z')
        return number_or_identifier(id, key);
    std::snprintf(key, kTextMax, "%s", id);
    return 1;
}

/* The record of a lookup text; a text too long for any key finds nothing. */
void *find(const char *id, int (*choose)(const char *, char *)) {
    if (!has_table() || id == nullptr || std::strlen(id) >= kTextMax)
        return nullptr;
    char key[kTextMax];
    int keynum = choose(id, key);
    return TAB_search(&stations.tab, keynum, key);
}

/* The stations of a ring, and the one of them nearest the point searched
   from by the great-circle distance (the first found among equals). */
struct Nearest {
    float lat, lon;
    void *best = nullptr;
    double best_km = 0;

    void offer(void *rec) {
        auto at = stations.positions.find(rec);
        double km = at == stations.positions.end()
                        ? -1
                        : calc_earth_dist(lat, lon, at->second.lat, at->second.lon);
        if (km < 0)
            km = HUGE_VAL;
        if (best == nullptr || km < best_km)
            best = rec, best_km = km;
    }

    /* Every station at a position in tenths of a degree. */
    void at_location(double a, double o) {
        char where[kTextMax];
        location_text(a, o, where);
        void *recs[64];
        int n = TAB_searches(&stations.tab, 3, where, recs, 64);
        for (int k = 0; k < n; ++k)
            offer(recs[k]);
    }
};

/* Ring i around (a, o): j from 1-i to i on the four sides, in turn, then
   the south-west corner, which those sides do not reach. */
void search_ring(Nearest &found, double a, double o, int i) {
    if (i == 0) {
        found.at_location(a, o);
        return;
    }
    for (int j = 1 - i; j <= i; ++j) {
        found.at_location(a + i, o + j);
        found.at_location(a + j, o + i);
        found.at_location(a - i, o + j);
        found.at_location(a + j, o - i);
    }
    found.at_location(a - i, o - i);
}

} // namespace

int CTY_search(const char *id, void *data) {
    void *rec = find(id, search_key);
    if (rec == nullptr)
        return 0;
    if (data != nullptr && stations.kind == 1)
        std::memcpy(data, &static_cast<stat_FULL_data *>(rec)->city, sizeof(CTY_data));
    else if (data != nullptr)
        std::memcpy(data, &static_cast<stat_XY_data *>(rec)->loc, sizeof(CTY_locate));
    return 1;
}

int CTY_search_loc(float lat, float lon, CTY_locate *data) {
    if (!has_table() || stations.kind != 3)
        return 0;
    double a = 10.0 * lat, o = 10.0 * lon;
    Nearest found{lat, lon};
    for (int i = 0; i <= 49 && found.best == nullptr; ++i)
        search_ring(found, a, o, i);
    if (found.best == nullptr)
        return 0;
    if (data != nullptr)
        *data = static_cast<stat_XY_data *>(found.best)->loc;
    return 1;
}

void *CTY_get_data(const char *id) {
    void *rec = find(id, data_key);
    return rec != nullptr ? *block_slot(rec) : nullptr;
}

/* ------------------------------------------------------------------------
 * Walking and freeing the attached blocks
 * ---------------------------------------------------------------------- */

void *CTY_next_data(int next) {
    if (!has_table())
        return nullptr;
    if (next == 0)
        TAB_first(&stations.tab);
    void *rec = TAB_next(&stations.tab);
    return rec != nullptr ? *block_slot(rec) : nullptr;
}

int CTY_clear_data(int flag) {
    if (!has_table())
        return 0;
    for (TAB_entry *e = stations.tab.head_ptr; e != nullptr; e = e->next) {
        void **block = block_slot(e->data);
        if (*block == nullptr)
            continue;
        if (flag) {
            static_cast<char *>(*block)[0] = '\0';
        } else {
            std::free(*block);
            *block = nullptr;
        }
    }
    return 0;
}

int CTY_clear(void) {
    CTY_clear_data(0);
    TAB_clear(&stations.tab);
    stations.positions.clear();
    return 0;
}

TAB_table *CTY_get_table(void) {
    return &stations.tab;
}
