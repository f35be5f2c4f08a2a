/*
 * region.cpp - regions (DOM_): the built-in regions, region files, the
 * region menu, and the domains taken from the resources or asked for.
 *
 * Region names are looked up in region files ("kem.reg" by default:
 * abbreviation, description, menu flag, domain string per line) and in the
 * built-in regions; a region file also feeds the region menu from which an
 * interactive user picks a region.  The domain strings found are decoded
 * by domain.cpp.
 *
 * State: the region menu (the built-in regions until a region file is
 * read) with its count, and the "still to ask" switch of the region
 * prompt.  Region files that cannot be opened are reported as debug
 * messages and answer 0; like defaults files they may be anyone's, so one
 * that someone else could have written is skipped with a warning, and no
 * text of one (a domain found, a menu entry) that holds '|' is taken.  An
 * invalid domain taken from the resources ends the program with status
 * 43.
 */
#include "region.h"
#include "kem.h"
#include "text.h"
#include "trust.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr M_type debug_top = 0x80000000u; /* highest debug sub-level */

constexpr int reg_menu_size = 23;
constexpr int reg_menu_last = 19; /* highest entry a region file fills */
constexpr int reg_menu_type = 0;
constexpr size_t menu_name_max = 20; /* characters of a description in the menu */
constexpr size_t menu_abbr_max = 5;  /* characters of an abbreviation in the menu */
constexpr size_t region_line_max = 500;
constexpr int prompt_attempts = 5;

/* ------------------------------------------------------------------------
 * Built-in regions
 * ---------------------------------------------------------------------- */

/* Everything about one built-in region: how it is named and where its
   grid (polar stereographic, 25 by 17 points) stands. */
struct BuiltinRegion {
    const char *abbr;
    const char *name; /* as the region menu lists it */
    float clat, clon; /* missing: the user is asked for the centre */
    float step;       /* between grid points, both ways */
};

/* In the order of the region menu. */
/* clang-format off */
constexpr BuiltinRegion builtin_regions[] = {
    {"us", "Contiguous US", 39, -97, 2.3f},
    {"ne", "New England", 42, -76, 0.9f},
    {"at", "Atlantic", 37, -82, 0.9f},
    {"se", "Southeastern", 31, -88, 1.1f},
    {"mw", "Midwestern", 43, -93, 1.1f},
    {"sp", "Southern Plains", 32.5f, -100, 1.2f},
    {"nw", "Northwestern", 44, -112, 1.0f},
    {"sw", "Southwestern", 37, -112, 1.0f},
    {"var", "Variable", KEM_MISSING, KEM_MISSING, 1.2f}};
/* clang-format on */

const BuiltinRegion *builtin_region(const char *abbr) {
    for (const BuiltinRegion &r : builtin_regions)
        if (stricmp(abbr, r.abbr) == 0)
            return &r;
    return nullptr;
}

} // namespace

int DOM_get_def_region(const char *region, Domain *domain) {
    if (domain == nullptr)
        return 0;
    DOM_init(domain);
    domain_default_grid(domain);
    if (region == nullptr)
        return 0;
    const BuiltinRegion *found = builtin_region(region);
    if (found == nullptr)
        return 0;
    if (found->clat == KEM_MISSING) {
        domain->clat = KEM_promptf("Enter the central latitude: ");
        domain->clon = KEM_promptf("Enter the central longitude: ");
    } else {
        domain->clat = found->clat;
        domain->clon = found->clon;
    }
    domain->dx = domain->dy = found->step;
    domain->plon = domain->clon;
    domain_settle(domain, 1);
    return 1;
}

/* ------------------------------------------------------------------------
 * Module state: the region menu and the prompt
 * ---------------------------------------------------------------------- */

namespace {

struct RegionMenu {
    MENU_item items[reg_menu_size] = {};
    char names[reg_menu_size][menu_name_max + 1] = {};
    char abbrs[reg_menu_size][menu_abbr_max + 1] = {};
    char back_name[24] = "Return to previous menu";
    char back_abbr[5] = "back";
    bool loaded = false; /* the built-in entries have been replaced */
    int num_regs = 0;

    RegionMenu() {
        items[0] = {back_name, back_abbr, 0, {1}};
        int i = 1;
        for (const BuiltinRegion &region : builtin_regions) {
            std::snprintf(names[i], sizeof names[i], "%s", region.name);
            std::snprintf(abbrs[i], sizeof abbrs[i], "%s", region.abbr);
            items[i] = {names[i], abbrs[i], 1, {1}};
            ++i;
        }
        items[i].name = nullptr;
    }
};

struct RegionState {
    int prompt_region = 1; /* DOM_prompt_region still has to find a region */
    RegionMenu menu;
};

RegionState state;

} // namespace

/* ------------------------------------------------------------------------
 * Region files
 * ---------------------------------------------------------------------- */

namespace {

/* Opens a region file along the file_path resource; `path` receives the
   full name (160 bytes).  Like a defaults file, a region file found along
   the path may be anyone's: it is read only when nobody but the user or
   root could have written it (`caller` names the warning otherwise). */
FILE *open_region_file(const char *file, char *path, const char *caller) {
    FILE *stream = nullptr;
    if (FILE_add_path(RES_get("file_path"), file, path) != nullptr)
        stream = open_settings(path, caller);
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

} // namespace

int DOM_search_file(const char *file, const char *str, char *domstr) {
    char path[KEM_PATH_MAX] = "";
    FILE *stream = open_region_file(file, path, "DOM_search_file");
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
    if (found && may_run_command(domstr)) {
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
    FILE *stream = open_region_file(file, path, "DOM_print_file");
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

/* ------------------------------------------------------------------------
 * The region menu
 * ---------------------------------------------------------------------- */

namespace {

/* Reads one region line of the file `path` into menu entry i; false for a
   line that is left out of the menu (flag 0, or no readable flag).  An
   entry's abbreviation is decoded as a region when it is chosen or first,
   and a region item may name a file ("FILE:", "fi:FILE"), so a line that
   holds '|' anywhere is refused: a region file never runs a command. */
bool read_menu_entry(const char *line, int i, const char *path) {
    RegionMenu &menu = state.menu;
    std::vector<std::string> words;
    int flag = 0;
    if (split_words(line, 3, region_word_max, words) < 3 || !read_whole(words[2].c_str(), &flag) ||
        flag == 0)
        return false;
    if (may_run_command(line)) {
        MESS_print(M_warn, "DOM_read_menu: %s: region %s refused, it could run a command\n", path,
                   words[0].c_str());
        return false;
    }
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

} // namespace

int DOM_read_menu(const char *file) {
    char path[KEM_PATH_MAX] = "";
    FILE *stream = open_region_file(file, path, "DOM_read_menu");
    if (stream == nullptr)
        return 0;
    if (!state.menu.loaded)
        drop_builtin_entries();
    char line[region_line_max + 1];
    int i = 1;
    while (i <= reg_menu_last && read_line(stream, line, region_line_max) >= 0)
        if (read_menu_entry(line, i, path))
            ++i;
    state.menu.num_regs = i;
    state.menu.items[i].name = nullptr;
    FILE_close(stream);
    return 1;
}

const char *DOM_get_region_name(int region) {
    if (region < 0 || region >= reg_menu_size)
        return nullptr;
    return state.menu.items[region].name;
}

/* ------------------------------------------------------------------------
 * Regions from the resources, or asked for
 * ---------------------------------------------------------------------- */

namespace {

/* Decodes `text` from the resources or the first menu entry: an invalid
   domain there cannot be asked again, so it ends the program. */
int decode_or_end(const char *text, Domain *domain) {
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

} // namespace

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
        int result = DOM_decode(answer, domain);
        if (result == -1)
            MESS_print(M_warn, "Invalid domain\n");
        else if (result == KEM_MISSING || result > 0)
            return result;
    }
    return -1;
}
