/*
 * region.cpp - plot domains and region files (DOM_).
 *
 * A plot domain string ("ps,40,-100", "lc:25:-95,40,-100,1.0", "ne",
 * "id:KORD") is cut at commas and fitted, form by form, to the lists of
 * fields a domain string may hold; the first form that fits fills the
 * Domain record.  Region names are looked up in region files ("kem.reg" by
 * default: abbreviation, description, menu flag, domain string per line)
 * and in the built-in regions; a region file also feeds the region menu
 * from which an interactive user picks a region.
 *
 * State: the station priorities derived from the last domain, the region
 * menu with its count and the "still to ask" switch, and the depth of
 * nested decoding (a region file entry may name another region).  Decoding
 * answers -1 for an invalid domain string after one warning; nesting deeper
 * than a few levels, as a region file that names itself would cause, counts
 * as invalid.  Region files that cannot be opened are reported as debug
 * messages; an invalid domain taken from the resources ends the program
 * with status 43.
 */
#include "kem.h"
#include "text.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr M_type debug_top = 0x80000000u;   /* highest debug sub-level */
constexpr M_type debug_parse = 0x40000000u; /* domain parsing trace */
constexpr int domain_flag_word = 5;         /* program flag: last decode result */
constexpr int max_nesting = 4;              /* region entries naming regions, deepest */
constexpr int max_fields = 8;               /* field codes of one form */

constexpr const char *default_region_file = "kem.reg";
constexpr const char *default_station_file = "sao.cty";

constexpr int reg_menu_size = 23;
constexpr int reg_menu_last = 19; /* highest entry a region file fills */
constexpr int reg_menu_type = 0;
constexpr size_t menu_name_max = 20; /* characters of a description in the menu */
constexpr size_t menu_abbr_max = 5;  /* characters of an abbreviation in the menu */
constexpr size_t region_line_max = 500;
constexpr size_t region_word_max = 79; /* abbreviations and domain strings searched */
constexpr int prompt_attempts = 5;

/* ------------------------------------------------------------------------
 * Module state
 * ---------------------------------------------------------------------- */

struct RegionMenu {
    MENU_item items[reg_menu_size] = {};
    char names[reg_menu_size][menu_name_max + 1] = {};
    char abbrs[reg_menu_size][menu_abbr_max + 1] = {};
    char back_name[24] = "Return to previous menu";
    char back_abbr[5] = "back";
    bool loaded = false; /* the built-in entries have been replaced */
    int num_regs = 0;

    RegionMenu() {
        static const char *const builtin[][2] = {
            {"Contiguous US", "us"}, {"New England", "ne"},  {"Atlantic", "at"},
            {"Southeastern", "se"},  {"Midwestern", "mw"},   {"Southern Plains", "sp"},
            {"Northwestern", "nw"},  {"Southwestern", "sw"}, {"Variable", "var"}};
        items[0] = {back_name, back_abbr, 0, {1}};
        int i = 1;
        for (const auto &entry : builtin) {
            std::snprintf(names[i], sizeof names[i], "%s", entry[0]);
            std::snprintf(abbrs[i], sizeof abbrs[i], "%s", entry[1]);
            items[i] = {names[i], abbrs[i], 1, {1}};
            ++i;
        }
        items[i].name = nullptr;
    }
};

struct DomainState {
    int priority = 3;
    int loc_prior = 4;
    int depth = 0;         /* decodes running, the outermost counted */
    bool too_deep = false; /* a nested decode went past max_nesting */
    int prompt_region = 1; /* DOM_prompt_region still has to find a region */
    RegionMenu menu;
};

DomainState state;

/* ------------------------------------------------------------------------
 * Projection keywords and names
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

struct ProjName {
    int code;
    const char *name;
};

constexpr ProjName proj_names[] = {{1, "pstereo"}, {2, "latlon"}, {3, "merc"},   {4, "lamb"},
                                   {5, "ortho"},   {6, "gnom"},   {7, "moll"},   {8, "lambaz"},
                                   {9, "sat"},     {20, "xy"},    {21, "xz"},    {22, "xlogp"},
                                   {23, "polar"},  {24, "cat"},   {40, "skewt"}, {41, "stuve"},
                                   {42, "ema"},    {50, "zoom"},  {99, "pixel"}};

constexpr int proj_polar = 1;
constexpr int proj_zoom = 50;
constexpr int proj_size = 51;

const char *proj_name(int code) {
    for (const ProjName &p : proj_names)
        if (p.code == code)
            return p.name;
    return "";
}

/* ------------------------------------------------------------------------
 * Forms of a domain string
 * ---------------------------------------------------------------------- */

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

bool missing(float value) {
    return value == static_cast<float>(KEM_MISSING);
}

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

/* ------------------------------------------------------------------------
 * Reading the items of a domain string
 * ---------------------------------------------------------------------- */

/* A number at the start of `item`; an empty item leaves the field as it
   is.  False when the item does not start with a number. */
bool read_float_item(const char *item, float *out) {
    if (*item == '\0')
        return true;
    char *end = nullptr;
    float value = std::strtof(item, &end);
    if (end == item)
        return false;
    *out = value;
    return true;
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

/* ------------------------------------------------------------------------
 * Region files
 * ---------------------------------------------------------------------- */

/* Opens a region file along the file_path resource; `path` receives the
   full name (160 bytes). */
FILE *open_region_file(const char *file, char *path) {
    FILE *stream = nullptr;
    if (FILE_add_path(RES_get("file_path"), file, path) != nullptr)
        stream = FILE_open(path, "r");
    if (stream == nullptr)
        MESS_print(debug_top, "Unable to open region file: %s\n", path);
    return stream;
}

/* A whole number with an optional sign, as a menu flag must be. */
bool read_whole(const char *word, int *out) {
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(word, &end, 10);
    if (end == word || *end != '\0' || errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return false;
    *out = static_cast<int>(value);
    return true;
}

void copy_cut(char *out, const char *text, size_t max) {
    size_t len = std::strlen(text);
    if (len > max)
        len = max;
    std::memcpy(out, text, len);
    out[len] = '\0';
}

/* Reads one region line into menu entry i; false for a line that is left
   out of the menu (flag 0, or no readable flag). */
bool read_menu_entry(const char *line, int i) {
    RegionMenu &menu = state.menu;
    std::vector<std::string> words;
    int flag = 0;
    if (split_words(line, 3, region_word_max, words) < 3 || !read_whole(words[2].c_str(), &flag) ||
        flag == 0)
        return false;
    MENU_item &entry = menu.items[i];
    entry.name = menu.names[i];
    entry.abbr = menu.abbrs[i];
    copy_cut(entry.abbr, words[0].c_str(), menu_abbr_max);
    copy_cut(entry.name, words[1].c_str(), menu_name_max);
    for (char *c = entry.name; *c != '\0'; ++c)
        if (*c == '_')
            *c = ' ';
    entry.index = i;
    entry.disp[reg_menu_type] = flag;
    return true;
}

void drop_builtin_entries() {
    for (int i = 1; i <= reg_menu_last; ++i) {
        state.menu.items[i].name = nullptr;
        state.menu.items[i].abbr = nullptr;
        state.menu.items[i].disp[reg_menu_type] = 0;
    }
    state.menu.loaded = true;
}

/* Decodes `text` from the resources or the first menu entry: an invalid
   domain there cannot be asked again, so it ends the program. */
int decode_or_end(const char *text, Domain *domain) {
    DOM_init(domain);
    int result = DOM_decode(text, domain);
    if (result == -1) {
        MESS_print(M_error, "Invalid domain\n");
        KEM_exit(43);
    }
    return result;
}

const char *first_region_abbr() {
    return state.menu.items[1].name != nullptr ? state.menu.items[1].abbr : nullptr;
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

extern "C" {

/* ------------------------------------------------------------------------
 * Domain records
 * ---------------------------------------------------------------------- */

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
    FLAG_set(domain_flag_word, result);
    FILE_set_key('r', str);
    /* ny may be any int a domain string gave: the count of rows less one
       is taken in floating point, where it cannot overflow. */
    DOM_set_base_prior(domain->dy * (static_cast<float>(domain->ny) - 1.0f));
    return result;
}

int DOM_get_def_region(const char *region, Domain *domain) {
    struct Builtin {
        const char *name;
        float clat, clon, step;
    };
    static constexpr Builtin builtins[] = {{"us", 39, -97, 2.3f},  {"ne", 42, -76, 0.9f},
                                           {"at", 37, -82, 0.9f},  {"se", 31, -88, 1.1f},
                                           {"mw", 43, -93, 1.1f},  {"sp", 32.5f, -100, 1.2f},
                                           {"nw", 44, -112, 1.0f}, {"sw", 37, -112, 1.0f}};
    if (domain == nullptr)
        return 0;
    DOM_init(domain);
    domain->proj = proj_polar;
    domain->nx = 25;
    domain->ny = 17;
    domain->dx = domain->dy = 1.2f;
    if (region == nullptr)
        return 0;
    if (stricmp(region, "var") == 0) {
        domain->clat = KEM_promptf("Enter the central latitude: ");
        domain->clon = KEM_promptf("Enter the central longitude: ");
    } else {
        const Builtin *found = nullptr;
        for (const Builtin &b : builtins)
            if (stricmp(region, b.name) == 0)
                found = &b;
        if (found == nullptr)
            return 0;
        domain->clat = found->clat;
        domain->clon = found->clon;
        domain->dx = domain->dy = found->step;
    }
    domain->plon = domain->clon;
    DOM_set_base_prior(domain->dy * (static_cast<float>(domain->ny) - 1.0f));
    FLAG_set(domain_flag_word, 1);
    return 1;
}

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

/* ------------------------------------------------------------------------
 * Region files and the region menu
 * ---------------------------------------------------------------------- */

int DOM_read_menu(const char *file) {
    char path[KEM_PATH_MAX] = "";
    FILE *stream = open_region_file(file, path);
    if (stream == nullptr)
        return 0;
    if (!state.menu.loaded)
        drop_builtin_entries();
    char line[region_line_max + 1];
    int i = 1;
    while (i <= reg_menu_last && read_line(stream, line, region_line_max) >= 0)
        if (read_menu_entry(line, i))
            ++i;
    state.menu.num_regs = i;
    state.menu.items[i].name = nullptr;
    FILE_close(stream);
    return 1;
}

int DOM_search_file(const char *file, const char *str, char *domstr) {
    char path[KEM_PATH_MAX] = "";
    FILE *stream = open_region_file(file, path);
    if (stream == nullptr)
        return 0;
    char line[region_line_max + 1];
    std::vector<std::string> words;
    int found = 0;
    while (read_line(stream, line, region_line_max) > 0) {
        if (line[0] == '#')
            continue;
        size_t n = split_words(line, 4, region_word_max, words);
        int flag = 0;
        if (n == 0)
            break;
        if (n < 4 || !read_whole(words[2].c_str(), &flag)) {
            found = 1; /* a bare domain string answers every search */
            copy_cut(domstr, words[0].c_str(), region_word_max);
            break;
        }
        if (str == nullptr || stricmp(str, words[0].c_str()) == 0) {
            found = 1;
            copy_cut(domstr, words[3].c_str(), region_word_max);
            break;
        }
    }
    FILE_close(stream);
    if (found && std::strchr(domstr, '|') != nullptr) {
        /* A region file may be anyone's, like a defaults file: the names
           in its domains (station and region files) must not open pipes. */
        MESS_print(M_warn, "DOM_search_file: %s: domain %s refused, it could run a command\n", path,
                   domstr);
        domstr[0] = '\0';
        found = 0;
    }
    return found;
}

int DOM_print_file(const char *file) {
    char path[KEM_PATH_MAX] = "";
    FILE *stream = open_region_file(file, path);
    if (stream == nullptr)
        return 0;
    MESS_print(M_print, " Abbr    Description\n");
    char line[region_line_max + 1];
    std::vector<std::string> words;
    while (read_line(stream, line, region_line_max) >= 0)
        if (split_words(line, 2, region_word_max, words) == 2)
            MESS_print(M_print, "%-8s %-50s\n", words[0].c_str(), words[1].c_str());
    FILE_close(stream);
    return 0;
}

int DOM_get_region(Domain *domain, int flag) {
    DOM_init(domain);
    const char *plot_domain = RES_get("plot_domain");
    const char *region = RES_get("region");
    if ((flag == 1 || flag == 3 || flag == 4) && plot_domain != nullptr)
        return DOM_decode(plot_domain, domain);
    if (region != nullptr)
        return DOM_decode(region, domain);
    if (flag != 4)
        return 0;
    if (state.menu.num_regs == 0)
        DOM_read_menu(default_region_file);
    return DOM_decode(first_region_abbr(), domain);
}

int DOM_get_grid_domain(Domain *domain) {
    DOM_init(domain);
    for (const char *name : {"grid_domain", "region", "plot_domain"})
        if (const char *value = RES_get(name))
            return DOM_decode(value, domain);
    return 0;
}

int DOM_set_prompt_region(int val) {
    state.prompt_region = val;
    return 0;
}

int DOM_prompt_region(Domain *domain, int flag) {
    if (state.prompt_region == 0)
        return 0;
    const char *plot_domain = flag == 1 ? RES_get("plot_domain") : nullptr;
    for (const char *value : {plot_domain, RES_get("region")}) {
        if (value == nullptr)
            continue;
        int result = decode_or_end(value, domain);
        state.prompt_region = 0;
        if (result > 0)
            return result;
    }
    if (state.menu.num_regs == 0)
        DOM_read_menu(default_region_file);
    if (FLAG_batch()) {
        int result = decode_or_end(first_region_abbr(), domain);
        state.prompt_region = 0;
        return result;
    }
    char answer[81] = "";
    for (int attempt = 0; attempt < prompt_attempts; ++attempt) {
        int choice = MENU_process("\n        Region Menu\n", state.menu.items, reg_menu_type,
                                  "Enter the region: ", answer, MENU_EXIT | MENU_RETURN);
        if (stricmp(answer, "list") == 0) {
            DOM_print_file(default_region_file);
            continue;
        }
        if (choice == -1)
            KEM_exit(0);
        if (choice == 0)
            return 0;
        DOM_init(domain);
        int result = DOM_decode(answer, domain);
        if (result == -1)
            MESS_print(M_warn, "Invalid domain\n");
        else if (result == KEM_MISSING || result > 0)
            return result;
    }
    return -1;
}

const char *DOM_get_region_name(int region) {
    if (region < 0 || region >= reg_menu_size)
        return nullptr;
    return state.menu.items[region].name;
}

} // extern "C"
