/*
 * domain.cpp - plot domains (DOM_): decoding, printing and comparing them,
 * and the station priorities a domain sets.
 *
 * A plot domain string ("ps,40,-100", "lc:25:-95,40,-100,1.0", "ne",
 * "id:KORD") is cut at commas and fitted, form by form, to the lists of
 * fields a domain string may hold; the first form that fits fills the
 * Domain record.  An item that names a region is looked up in region files
 * and the built-in regions (region.cpp), an "id:" item in a station
 * database.
 *
 * State: the station priorities derived from the last domain, and the
 * depth of nested decoding (a region file entry may name another region).
 * Decoding answers -1 for an invalid domain string after one warning;
 * nesting deeper than a few levels, as a region file that names itself
 * would cause, counts as invalid.  Printing and comparing answer 0 (an
 * aspect of 1) for a missing domain and print nothing but the domain.
 */
#include "kem.h"
#include "region.h"
#include "text.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr M_type debug_parse = 0x40000000u; /* domain parsing trace */
constexpr int domain_flag_word = 5;         /* program flag: last decode result */
constexpr int max_nesting = 4;              /* region entries naming regions, deepest */
constexpr int max_fields = 8;               /* field codes of one form */

constexpr const char *default_station_file = "sao.cty";

constexpr int proj_polar = 1;
constexpr int proj_zoom = 50;
constexpr int proj_size = 51;

bool missing(float value) {
    return value == static_cast<float>(KEM_MISSING);
}

/* ------------------------------------------------------------------------
 * Module state
 * ---------------------------------------------------------------------- */

struct DomainState {
    int priority = 3;
    int loc_prior = 4;
    int depth = 0;         /* decodes running, the outermost counted */
    bool too_deep = false; /* a nested decode went past max_nesting */
};

DomainState state;

/* ------------------------------------------------------------------------
 * Domain records and projection keywords
 * ---------------------------------------------------------------------- */

struct ProjKeyword {
    const char *word;
    int chars; /* characters compared; 0 for the whole word */
    int code;
};

/* Tried in this order; the first match wins. */
/* clang-format off */
constexpr ProjKeyword proj_keywords[] = {
    {"ll", 2, 2},     {"lat", 3, 2},    {"polar", 5, 1},  {"ps", 2, 1},    {"sat", 3, 9},
    {"lamb", 4, 4},   {"lc", 2, 4},     {"la", 2, 8},     {"gn", 2, 6},    {"or", 2, 5},
    {"mo", 2, 7},     {"me", 2, 3},     {"pix", 3, 99},   {"xy", 2, 20},   {"xlogy", 5, 22},
    {"xlogp", 5, 22}, {"cat", 3, 24},   {"skewt", 5, 40}, {"ema", 3, 42},  {"teph", 4, 43},
    {"rteph", 5, 44}, {"therm", 5, 40}, {"stuve", 5, 41}, {"hodo", 4, 23}, {"vert", 4, 22},
    {"xp", 0, 25},    {"zoom", 4, 50},  {"size", 4, 51},  {"miss", 0, KEM_MISSING}};
/* clang-format on */

} // namespace

int DOM_init(Domain *domain) {
    if (domain == nullptr)
        return 0;
    const float m = KEM_MISSING;
    *domain = Domain{KEM_MISSING, m, m, {m, m, m, m, m}, m, m, m, m, KEM_MISSING, KEM_MISSING, 0};
    return 0;
}

int DOM_proj_str(const char *proj) {
    if (proj == nullptr)
        return -1;
    for (const ProjKeyword &k : proj_keywords) {
        bool match =
            k.chars == 0 ? stricmp(proj, k.word) == 0 : strnicmp(proj, k.word, k.chars) == 0;
        if (match)
            return k.code;
    }
    return -1;
}

/* ------------------------------------------------------------------------
 * Fitting the items of a domain string to fields
 * ---------------------------------------------------------------------- */

namespace {

/* A number at the start of `item`; an empty item leaves the field as it
   is.  False when the item does not start with a number. */
bool read_float_item(const char *item, float *out) {
    return *item == '\0' || read_real(item, *out);
}

bool read_int_item(const char *item, int *out) {
    if (*item == '\0')
        return true;
    char *end = nullptr;
    long value = std::strtol(item, &end, 10);
    if (end == item)
        return false;
    if (value > INT_MAX || value < INT_MIN)
        value = value > 0 ? INT_MAX : INT_MIN;
    *out = static_cast<int>(value);
    return true;
}

bool starts_with_id(const char *item) {
    return strnicmp(item, "id:", 3) == 0;
}

/* Parameters after the keyword: one sets plon; with more, a leading "e"
   asks for the ellipsoid, then plat, plon and up to four further ones. */
void set_proj_params(int count, char **params, Domain *d) {
    if (count == 1) {
        d->plon = static_cast<float>(std::atof(params[0]));
        return;
    }
    int next = 0;
    if (count > 0 && std::strcmp(params[0], "e") == 0) {
        d->ellipse = 1;
        ++next;
    }
    if (next < count)
        d->plat = static_cast<float>(std::atof(params[next++]));
    if (next < count)
        d->plon = static_cast<float>(std::atof(params[next++]));
    for (int i = 0; i < 4 && next < count; ++i, ++next)
        if (params[next][0] != '\0')
            d->param[i] = static_cast<float>(std::atof(params[next]));
}

/* 0, or 1 for an unknown keyword (the projection then becomes 1). */
int read_proj_item(const char *item, Domain *d) {
    int count = 0;
    char **parts = nullptr;
    if (parse_string(item, ':', &count, &parts) != 0 || count == 0) {
        d->proj = proj_polar;
        return 1;
    }
    d->proj = DOM_proj_str(parts[0]);
    int result = 0;
    if (d->proj == -1) {
        d->proj = proj_polar;
        result = 1;
    } else {
        set_proj_params(count - 1, parts + 1, d);
    }
    free_parsed_array(count, parts);
    return result;
}

/* "id:ID" in the station database, or "id:FILE:ID" in FILE. */
bool read_station_item(const char *item, Domain *d) {
    if (!starts_with_id(item))
        return false;
    const char *rest = item + 3;
    const char *colon = std::strchr(rest, ':');
    char file[KEM_PATH_MAX] = "";
    const char *id = rest;
    if (colon != nullptr) {
        size_t len = static_cast<size_t>(colon - rest);
        if (len >= sizeof file)
            return false;
        std::memcpy(file, rest, len);
        file[len] = '\0';
        id = colon + 1;
    } else {
        std::snprintf(file, sizeof file, "%s", default_station_file);
    }
    return CTY_get_loc(file, id, &d->clat, &d->clon) == 1;
}

/* Decodes a domain string found for a region item into `d`.  False only
   when decoding went deeper than the nesting allows. */
bool decode_nested(const char *domstr, Domain *d) {
    DOM_decode(domstr, d);
    return !state.too_deep;
}

/* A region item: "fi:FILE", "FILE:NAME", "FILE:" or a plain name. */
bool read_region_item(const char *item, Domain *d) {
    if (std::strncmp(item, "id:", 3) == 0)
        return false;
    char domstr[region_word_max + 1] = "";
    if (std::strncmp(item, "fi:", 3) == 0)
        return DOM_search_file(item + 3, nullptr, domstr) != 1 || decode_nested(domstr, d);
    if (const char *colon = std::strchr(item, ':')) {
        char file[KEM_PATH_MAX] = "";
        size_t len = static_cast<size_t>(colon - item);
        if (len >= sizeof file)
            return false;
        std::memcpy(file, item, len);
        file[len] = '\0';
        if (colon[1] == '\0') {
            DOM_read_menu(file);
            return true;
        }
        return DOM_search_file(file, colon + 1, domstr) != 1 || decode_nested(domstr, d);
    }
    if (DOM_search_file(default_region_file, item, domstr) == 1)
        return decode_nested(domstr, d);
    Domain builtin;
    if (DOM_get_def_region(item, &builtin) == 1)
        *d = builtin;
    else
        d->proj = -1;
    return true;
}

/* Reads one item by its field code; false when it does not fit. */
bool read_item(int code, const char *item, Domain *d) {
    switch (code) {
    case DOM_F_PLON:
        return read_float_item(item, &d->plon);
    case DOM_F_CLAT:
        return read_float_item(item, &d->clat);
    case DOM_F_CLON:
        return read_float_item(item, &d->clon);
    case DOM_F_DX:
        return read_float_item(item, &d->dx);
    case DOM_F_DY:
        return read_float_item(item, &d->dy);
    case DOM_F_NX:
        return read_int_item(item, &d->nx);
    case DOM_F_NY:
        return read_int_item(item, &d->ny);
    case DOM_F_STATION:
        return read_station_item(item, d);
    case DOM_F_REGION:
        return read_region_item(item, d);
    default:
        return false;
    }
}

/* One "id:" item stands for the pair clat, clon: the first becomes a
   station field and the second is dropped.  Gives the number of codes. */
int substitute_stations(int paramc, char **paramv, int *codes) {
    int n = 0;
    while (n < max_fields && codes[n] != 0)
        ++n;
    for (int p = 0; p < n; ++p) {
        if (codes[p] != DOM_F_CLAT || p >= paramc || !starts_with_id(paramv[p]))
            continue;
        codes[p] = DOM_F_STATION;
        if (p + 1 < n && codes[p + 1] == DOM_F_CLON) {
            for (int q = p + 1; q + 1 < n; ++q)
                codes[q] = codes[q + 1];
            --n;
        }
    }
    return n;
}

bool is_missing_word(const char *item) {
    return stricmp(item, "miss") == 0 || stricmp(item, "none") == 0;
}

} // namespace

int DOM_set_params(int paramc, char **paramv, Domain *domain, int i1, int i2, int i3, int i4,
                   int i5, int i6, int i7, int i8) {
    int codes[max_fields] = {i1, i2, i3, i4, i5, i6, i7, i8};
    if (domain == nullptr || paramc < 0 || (paramc > 0 && paramv == nullptr))
        return -1;
    for (int p = 0; p < paramc; ++p)
        if (paramv[p] == nullptr)
            return -1;
    if (substitute_stations(paramc, paramv, codes) != paramc)
        return -1;
    DOM_init(domain);
    if (paramc == 0 || is_missing_word(paramv[0]))
        return 0;
    for (int p = 0; p < paramc; ++p) {
        if (codes[p] == DOM_F_PROJ) {
            if (read_proj_item(paramv[p], domain) != 0)
                return 1;
        } else if (!read_item(codes[p], paramv[p], domain)) {
            return codes[p];
        }
    }
    return 0;
}

/* ------------------------------------------------------------------------
 * Decoding: the forms of a domain string
 * ---------------------------------------------------------------------- */

namespace {

enum FormDefaults : unsigned {
    none = 0,
    polar = 1u << 0,      /* proj 1 */
    grid_25x17 = 1u << 1, /* nx 25, ny 17 */
    dy_from_dx = 1u << 2, /* dy = dx */
    step_12 = 1u << 3,    /* dx = dy = 1.2 */
    centre_only = 1u << 4 /* form 11: see apply_centre_only */
};

struct Form {
    int fields[max_fields];
    unsigned defaults;
    const char *trace;
};

constexpr int size_form = 0;    /* tried only when the first item is "size" */
constexpr int region_form = 14; /* a fit answers 2, every other form 1 */

/* In the order they are tried: the fields, the defaults applied after a
   fit, and the trace line printed then. */
#define F(code) DOM_F_##code
/* clang-format off */
constexpr Form forms[] = {
    {{F(PROJ), F(NX), F(NY)}, none, "%2d proj,nx,ny\n"},
    {{F(PROJ), F(PLON), F(CLAT), F(CLON), F(NX), F(NY), F(DX), F(DY)},
     none, "%2d proj,plon,clat,clon,nx,ny,dx,dy\n"},
    {{F(PROJ), F(CLAT), F(CLON), F(NX), F(NY), F(DX), F(DY)},
     none, "%2d proj,clat,clon,nx,ny,dx,dy\n"},
    {{F(PROJ), F(PLON), F(CLAT), F(CLON), F(DX), F(DY)},
     grid_25x17, "%2d proj,plon,clat,clon,dx,dy\n"},
    {{F(PROJ), F(CLAT), F(CLON), F(NX), F(NY), F(DX)},
     dy_from_dx, "%2d proj,clat,clon,nx,ny,dx\n"},
    {{F(CLAT), F(CLON), F(NX), F(NY), F(DX), F(DY)}, polar, "%2d clat,clon,nx,ny,dx,dy\n"},
    {{F(PROJ), F(CLAT), F(CLON), F(DX), F(DY)}, grid_25x17, "%2d proj,clat,clon,dx,dy\n"},
    {{F(CLAT), F(CLON), F(NX), F(NY), F(DX)}, polar | dy_from_dx, "%2d clat,clon,nx,ny,dx\n"},
    {{F(PROJ), F(CLAT), F(CLON), F(DX)}, grid_25x17 | dy_from_dx, "%2d proj,clat,clon,dx\n"},
    {{F(CLAT), F(CLON), F(NX), F(NY)}, polar | step_12, "%2d clat,clon,nx,ny\n"},
    {{F(CLAT), F(CLON), F(DX)}, polar | grid_25x17 | dy_from_dx, "%2d clat,clon,dx\n"},
    {{F(PROJ), F(CLAT), F(CLON)}, centre_only, "%2d proj,clat,clon\n"},
    {{F(CLAT), F(CLON)}, polar | grid_25x17 | step_12, "%2d clat,clon\n"},
    {{F(STATION)}, polar | grid_25x17 | step_12, "%2d id:###\n"},
    {{F(REGION)}, none, "%2d reg:REG\n"}};
/* clang-format on */
#undef F

/* Toward zero, held to the range of int; missing stays missing. */
int truncated(float value) {
    if (missing(value) || value != value)
        return KEM_MISSING;
    if (value >= 2147483520.0f || value <= -2147483520.0f)
        return value > 0 ? INT_MAX : INT_MIN;
    return static_cast<int>(value);
}

/* Projection 51 reads its grid size where the centre stands; zoom steps
   by 1.0, every other projection by 1.2 on a 25 by 17 grid. */
void apply_centre_only(Domain *d) {
    if (d->proj == proj_size) {
        d->nx = truncated(d->clat);
        d->ny = truncated(d->clon);
        d->clat = d->clon = KEM_MISSING;
        return;
    }
    d->dx = d->dy = d->proj == proj_zoom ? 1.0f : 1.2f;
    d->nx = 25;
    d->ny = 17;
}

void apply_defaults(unsigned defaults, Domain *d) {
    if (defaults & polar)
        d->proj = proj_polar;
    if (defaults & grid_25x17) {
        d->nx = 25;
        d->ny = 17;
    }
    if (defaults & step_12)
        d->dx = d->dy = 1.2f;
    if (defaults & dy_from_dx)
        d->dy = d->dx;
    if (defaults & centre_only)
        apply_centre_only(d);
}

int fit_form(int paramc, char **paramv, Domain *d, const Form &form) {
    const int *f = form.fields;
    return DOM_set_params(paramc, paramv, d, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
}

/* The first form the items fit, applied; -1 when none does. */
int decode_items(int count, char **items, Domain *d) {
    for (int i = 0; i < static_cast<int>(sizeof forms / sizeof forms[0]); ++i) {
        if (i == size_form && stricmp(items[0], "size") != 0)
            continue;
        if (fit_form(count, items, d, forms[i]) != 0)
            continue;
        if (state.too_deep)
            return -1;
        apply_defaults(forms[i].defaults, d);
        MESS_print(debug_parse, forms[i].trace, 0);
        return i == region_form ? 2 : 1;
    }
    return -1;
}

/* Counts running decodes for as long as one lives. */
struct NestingGuard {
    NestingGuard() { ++state.depth; }
    ~NestingGuard() {
        if (--state.depth == 0)
            state.too_deep = false;
    }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;
};

} // namespace

int DOM_decode(const char *str, Domain *domain) {
    Domain scratch;
    if (domain == nullptr)
        domain = &scratch;
    DOM_init(domain);
    if (str == nullptr || *str == '\0' || stricmp(str, "miss") == 0)
        return KEM_MISSING;
    NestingGuard guard;
    int result = -1;
    int count = 0;
    char **items = nullptr;
    if (state.depth > max_nesting + 1) {
        state.too_deep = true;
    } else if (parse_string(str, ',', &count, &items) == 0) {
        MESS_print(debug_parse, "******** PARSING DOMAIN: %d %s\n", count, str);
        result = decode_items(count, items, domain);
        free_parsed_array(count, items);
    }
    /* A nesting too deep is reported once, by the outermost decode. */
    if (result == -1 && (!state.too_deep || state.depth == 1))
        MESS_print(M_warn, "DOM_decode: Invalid plot domain\n");
    FILE_set_key('r', str);
    domain_settle(domain, result);
    return result;
}

void domain_default_grid(Domain *domain) {
    apply_defaults(polar | grid_25x17 | step_12, domain);
}

void domain_settle(const Domain *domain, int result) {
    FLAG_set(domain_flag_word, result);
    /* ny may be any int a domain string gave: the count of rows less one
       is taken in floating point, where it cannot overflow. */
    DOM_set_base_prior(domain->dy * (static_cast<float>(domain->ny) - 1.0f));
}

/* ------------------------------------------------------------------------
 * Station priorities
 * ---------------------------------------------------------------------- */

int DOM_set_base_prior(float size) {
    static constexpr float bounds[] = {50, 25, 12.5f, 6.25f, 3};
    int prior = 1;
    while (prior <= 5 && !(size > bounds[prior - 1]))
        ++prior;
    const char *adjust = RES_get("stat_prior");
    if (adjust != nullptr) {
        if (adjust[0] == '+' && is_digit(adjust[1]))
            prior += adjust[1] - '0';
        else if (adjust[0] == '-' && is_digit(adjust[1]))
            prior -= adjust[1] - '0';
        else if (is_digit(adjust[0]))
            prior = adjust[0] - '0';
    }
    state.priority = prior;
    return 0;
}

int DOM_set_prior(int prior) {
    state.priority = prior;
    return 0;
}

int DOM_get_prior(void) {
    return state.priority;
}

int DOM_set_loc_prior(int prior) {
    state.loc_prior = prior;
    return 0;
}

int DOM_get_loc_prior(void) {
    return state.loc_prior;
}

/* ------------------------------------------------------------------------
 * Printing and comparing
 * ---------------------------------------------------------------------- */

namespace {

struct ProjName {
    int code;
    const char *name;
};

constexpr ProjName proj_names[] = {{1, "pstereo"}, {2, "latlon"}, {3, "merc"},   {4, "lamb"},
                                   {5, "ortho"},   {6, "gnom"},   {7, "moll"},   {8, "lambaz"},
                                   {9, "sat"},     {20, "xy"},    {21, "xz"},    {22, "xlogp"},
                                   {23, "polar"},  {24, "cat"},   {40, "skewt"}, {41, "stuve"},
                                   {42, "ema"},    {50, "zoom"},  {99, "pixel"}};

const char *proj_name(int code) {
    for (const ProjName &p : proj_names)
        if (p.code == code)
            return p.name;
    return "";
}

/* Equal parameters, or one missing where the other equals the centre the
   missing one stands for. */
bool same_param(float a, float b, float centre_of_a, float centre_of_b) {
    return a == b || (missing(a) && b == centre_of_a) || (missing(b) && a == centre_of_b);
}

bool same_projection(const Domain *a, const Domain *b) {
    if (a->proj != b->proj || a->ellipse != b->ellipse)
        return false;
    for (int i = 0; i < 5; ++i)
        if (a->param[i] != b->param[i])
            return false;
    return same_param(a->plat, b->plat, a->clat, b->clat) &&
           same_param(a->plon, b->plon, a->clon, b->clon);
}

} // namespace

int DOM_print(M_type mess, const Domain *domain) {
    if (domain == nullptr || !MESS_check(mess))
        return 0;
    char line[400];
    int n = std::snprintf(line, sizeof line, "%s%s", proj_name(domain->proj),
                          domain->ellipse ? ":e" : "");
    const float params[] = {domain->plat, domain->plon, domain->param[0], domain->param[1],
                            domain->param[2]};
    for (float p : params) {
        if (missing(p))
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), ":");
        else
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), ":%3.3f",
                               static_cast<double>(p));
        if (n >= static_cast<int>(sizeof line))
            return 0;
    }
    MESS_print(mess, "%s,%3.3f,%3.3f,%d,%d,%4.4f,%4.4f\n", line, static_cast<double>(domain->clat),
               static_cast<double>(domain->clon), domain->nx, domain->ny,
               static_cast<double>(domain->dx), static_cast<double>(domain->dy));
    return 0;
}

float DOM_aspect(const Domain *domain) {
    if (domain == nullptr || domain->nx < 2 || domain->ny < 2)
        return 1.0f;
    return static_cast<float>(domain->nx - 1) / static_cast<float>(domain->ny - 1);
}

int DOM_comp(const Domain *d1, const Domain *d2) {
    if (d1 == nullptr || d2 == nullptr)
        return 0;
    bool same_grid = d1->clat == d2->clat && d1->clon == d2->clon && d1->dx == d2->dx &&
                     d1->dy == d2->dy && d1->nx == d2->nx && d1->ny == d2->ny;
    return same_grid && same_projection(d1, d2) ? 1 : 0;
}

int DOM_comp_proj(const Domain *d1, const Domain *d2) {
    if (d1 == nullptr || d2 == nullptr)
        return 0;
    return same_projection(d1, d2) ? 1 : 0;
}
