/*
 * res_init.cpp - resource start-up: key table, command line, defaults
 * files, environment (RES_).
 *
 * RES_init builds the key table from the program's option codes and
 * RES_decode fills the store from its sources in order: the program name
 * and search path from the command line, the defaults files along the
 * search path (and the resources of a display window named there, see
 * res_window.cpp), the environment, then every command-line option and
 * positional word; at the end every stored resource with a table entry is
 * converted once, and RES_init applies the "kemtz" display time zone.
 * This is the only part of the module that reads defaults files.  The file
 * owns the key table, which stays alive for the rest of the process
 * because stored records refer to it by index.
 *
 * Unknown options and unplaced positional words are never errors;
 * start-up prints a warn message only for a loop window it cannot reach
 * and for codes beyond the key table's room.
 */
#include "kem.h"
#include "resrc.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct State {
    RES_defobj table[RES_TABLE_SIZE]{}; /* key table built by RES_init */
    RES_defobj no_table[1]{};           /* an empty key table */
};

State state;

/* ------------------------------------------------------------------------
 * Key-table lookups
 * ---------------------------------------------------------------------- */

/* Entries with an empty resource name stand for unknown codes: every
   lookup skips them. */
bool usable(const RES_defobj &entry) {
    return entry.def && entry.def[0];
}

bool keyed_entry(const RES_defobj &entry) {
    return usable(entry) && entry.cmd && RES_slot_of(&entry) == 0;
}

int table_size(const RES_defobj *table) {
    int size = 0;
    while (table[size].def)
        ++size;
    return size;
}

enum class Match { key, name, leading };

bool entry_matches(const RES_defobj &entry, const char *name, Match how) {
    switch (how) {
    case Match::key:
        return stricmp(name, entry.cmd) == 0;
    case Match::name:
        return stricmp(name, entry.def) == 0;
    case Match::leading:
        return strnicmp(name, entry.def, static_cast<int>(std::strlen(name))) == 0;
    }
    return false;
}

/* Short keys are tried over the whole table first, then resource names,
   then leading parts, so that a listed key is never shadowed by the
   leading part of an earlier entry's name (-st is state, not stat_prior). */
int find_keyed(const RES_defobj *table, const char *name) {
    for (Match how : {Match::key, Match::name, Match::leading})
        for (int i = 0; table[i].def; ++i)
            if (keyed_entry(table[i]) && entry_matches(table[i], name, how))
                return i;
    return -1;
}

int find_slot(const RES_defobj *table, int slot) {
    for (int i = 0; table[i].def; ++i)
        if (usable(table[i]) && RES_slot_of(&table[i]) == slot)
            return i;
    return -1;
}

/* ------------------------------------------------------------------------
 * Command-line words
 * ---------------------------------------------------------------------- */

constexpr size_t name_max = 49; /* option names are cut to this many characters */

/* One keyed option as typed. */
struct Typed {
    char name[name_max + 1];
    const char *value; /* null when the option has none */
    bool from_next;    /* the value is the following argument word */
};

/* '-' and a letter; with `double_dash` also "--" and a letter. */
bool starts_option(const char *word, bool double_dash) {
    if (!word || word[0] != '-')
        return false;
    const unsigned char *rest = reinterpret_cast<const unsigned char *>(word + 1);
    if (std::isalpha(rest[0]))
        return true;
    return double_dash && rest[0] == '-' && std::isalpha(rest[1]);
}

/* Reads the option at argv[i]; answers the index of the last word used. */
int read_option(int argc, char **argv, int i, Typed &opt) {
    const char *word = argv[i] + 1;
    if (*word == '-')
        ++word;
    const char *equals = std::strchr(word, '=');
    size_t len = equals ? static_cast<size_t>(equals - word) : std::strlen(word);
    if (len > name_max)
        len = name_max;
    std::memcpy(opt.name, word, len);
    opt.name[len] = '\0';
    opt.value = equals ? equals + 1 : nullptr;
    opt.from_next = false;
    if (equals || i + 1 >= argc || !argv[i + 1] || starts_option(argv[i + 1], false))
        return i;
    opt.value = argv[i + 1];
    opt.from_next = true;
    return i + 1;
}

/* n, na, nam or name: the program-name option. */
bool names_program(const char *name, bool ignore_case) {
    size_t len = std::strlen(name);
    if (len == 0 || len > 4)
        return false;
    if (ignore_case)
        return strnicmp(name, "name", static_cast<int>(len)) == 0;
    return std::strncmp(name, "name", len) == 0;
}

/* default... or df...: the defaults search path option. */
bool names_search_path(const char *name, bool ignore_case) {
    if (ignore_case)
        return strnicmp(name, "default", 7) == 0 || strnicmp(name, "df", 2) == 0;
    return std::strncmp(name, "default", 7) == 0 || std::strncmp(name, "df", 2) == 0;
}

/* Before any defaults file is read: only the program name and the search
   path, single-dash and case-sensitive.  Other options are stepped over
   together with any value word they take. */
void first_walk(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (!starts_option(argv[i], false))
            continue;
        Typed opt;
        i = read_option(argc, argv, i, opt);
        if (!opt.value)
            continue;
        if (names_program(opt.name, false)) {
            RES_new(KEM_MISSING, "name", opt.value, CV_string);
            DEF_name(opt.value);
        } else if (names_search_path(opt.name, false)) {
            RES_new(KEM_MISSING, "default", opt.value, CV_string);
        }
    }
}

bool takes_no_word(DEF_convert cvt) {
    return cvt == CV_bool || cvt == CV_batch || cvt == CV_help;
}

/* Stores the keyed option at argv[i]; answers the index of the last word used. */
int enter_option(int argc, char **argv, int i, const RES_defobj *table) {
    Typed opt;
    int last = read_option(argc, argv, i, opt);
    if (names_program(opt.name, true) || names_search_path(opt.name, true))
        return last;
    int found = find_keyed(table, opt.name);
    if (found < 0) {
        RES_new(KEM_MISSING, opt.name, opt.value, CV_string);
        return last;
    }
    const RES_defobj &entry = table[found];
    if (opt.from_next && takes_no_word(entry.cvt)) {
        opt.value = nullptr; /* the word is examined again as the next argument */
        last = i;
    }
    RES_new(found, entry.def, opt.value, entry.cvt);
    res_window_set(entry.def, opt.value);
    return last;
}

/*
 * Slots 1 to 9 take their own word; every other word goes to the slot-10
 * entry, appended, except the first positional word, which replaces what
 * the resource held from defaults files or the environment.  The tenth
 * word therefore appends like the others.
 */
void enter_positional(const char *word, int position, const RES_defobj *table) {
    int found = position <= 9 ? find_slot(table, position) : -1;
    if (found >= 0) {
        RES_new(found, table[found].def, word, table[found].cvt);
        return;
    }
    found = find_slot(table, 10);
    if (found < 0)
        return;
    if (position == 1)
        RES_new(found, table[found].def, word, table[found].cvt);
    else
        RES_append(found, table[found].def, word, table[found].cvt);
}

void second_walk(int argc, char **argv, const RES_defobj *table) {
    int position = 0;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (!word || std::strcmp(word, "--") == 0)
            continue;
        if (starts_option(word, true))
            i = enter_option(argc, argv, i, table);
        else
            enter_positional(word, ++position, table);
    }
}

/* ------------------------------------------------------------------------
 * Defaults files, search path and environment
 * ---------------------------------------------------------------------- */

constexpr const char *default_search_path = ".:/home/kem/etc:/usr/local/kem/etc";
constexpr int def_key_size = 50;    /* the defaults reader fills at most 49 ... */
constexpr int def_value_size = 200; /* ... and 199 characters */

/* One key line of a defaults file: every entry the key selects receives
   the value; an unclaimed key meant for this program becomes a free
   resource under its bare name. */
void take_defaults_line(const char *key, const char *value, const RES_defobj *table) {
    bool taken = false;
    for (int i = 0; table[i].def; ++i) {
        if (!usable(table[i]) || !DEF_cmp(table[i].def, key))
            continue;
        MESS_print(M_debug_d, "RESRC: %s=%s\n", key, value);
        RES_new(i, table[i].def, value, table[i].cvt);
        taken = true;
    }
    if (taken || !DEF_valid(key))
        return;
    char name[def_key_size] = "";
    DEF_parse_name(key, name);
    name[def_key_size - 1] = '\0';
    if (name[0])
        RES_new(KEM_MISSING, name, value, CV_string);
}

void read_defaults_file(const char *file, const RES_defobj *table) {
    if (DEF_open(file) == 0) {
        char key[def_key_size] = "";
        char value[def_value_size] = "";
        while (DEF_get(key, value) > 0) {
            key[def_key_size - 1] = '\0';
            value[def_value_size - 1] = '\0';
            take_defaults_line(key, value, table);
        }
    }
    DEF_close();
}

void take_path_element(const char *element, const RES_defobj *table) {
    if (element[0] == '+') {
        DEF_tag(element + 1);
    } else if (element[0] == '#') {
        res_window_open(element + 1, table);
    } else {
        read_defaults_file(element, table);
    }
}

void read_search_path(const RES_defobj *table) {
    const char *path = RES_get("default");
    if (!path)
        path = default_search_path;
    int count = 0;
    char **items = nullptr;
    parse_string(path, ':', &count, &items);
    DEF_clr_tag();
    if (count == 0)
        read_defaults_file(nullptr, table); /* an empty path: ".kemdef" here */
    for (int i = 0; i < count; ++i)
        take_path_element(items[i], table);
    free_parsed_array(count, items); /* the tag list keeps its own copies */
}

void read_environment(const RES_defobj *table) {
    for (int i = 0; table[i].def; ++i) {
        if (!usable(table[i]))
            continue;
        char value[def_value_size] = "";
        if (DEF_env(table[i].def, table[i].env ? table[i].env : "", value) > 0) {
            value[def_value_size - 1] = '\0';
            RES_new(i, table[i].def, value, table[i].cvt);
        }
    }
}

/* Every record with a table entry is converted once, in store order. */
void convert_all(const RES_defobj *table) {
    int size = table_size(table);
    for (const res_obj *rec = res_first_record(); rec; rec = rec->next) {
        if (rec->index == KEM_MISSING)
            continue;
        bool known = rec->index >= 0 && rec->index < size;
        const RES_defobj *entry = known ? &table[rec->index] : nullptr;
        if (rec->cvt == CV_strings && entry && entry->out) {
            int count = 0;
            parse_string(rec->data, '\n', &count, static_cast<char ***>(entry->out));
            if (entry->num)
                *entry->num = count;
        } else {
            RES_conv_data(rec->data, entry ? entry->out : nullptr, rec->cvt);
        }
    }
}

/* One key-table entry per listed code, keyed list first; codes beyond the
   table's room are refused. */
void build_table(const res_type *keyed, const res_type *positional) {
    const int room = RES_TABLE_SIZE - 1;
    int size = 0;
    int refused = 0;
    for (const res_type *list : {keyed, positional})
        for (int i = 0; list && list[i] != RES_null; ++i) {
            if (size < room)
                RES_enter(&state.table[size++], list[i]);
            else
                ++refused;
        }
    state.table[size] = RES_defobj{};
    if (refused)
        MESS_print(M_warn, "RES_init: only %d options can be listed, %d ignored\n", room, refused);
}

} // namespace

/* ------------------------------------------------------------------------
 * Start-up
 * ---------------------------------------------------------------------- */

int RES_init(int argc, char **argv, const res_type *keyed, const res_type *positional) {
    FLAG_reset(KEM_MISSING);
    build_table(keyed, positional);
    const char *prog = argc > 0 && argv ? argv[0] : nullptr;
    RES_decode(prog, "Kem", argc, argv, state.table);
    if (const char *zone = std::getenv("kemtz"))
        DATE_set_TZ(zone);
    return 1;
}

/* The sources in order, each later one replacing what an earlier stored. */
int RES_decode(const char *, const char *, int argc, char **argv, RES_defobj *table) {
    if (!table)
        table = state.no_table;
    if (!argv || argc < 0)
        argc = 0;
    RES_setCL(argc, argv);
    DEF_prog();
    if (const char *path = std::getenv("kemdefault"))
        RES_new(KEM_MISSING, "default", path, CV_string);
    first_walk(argc, argv);
    read_search_path(table);
    read_environment(table);
    second_walk(argc, argv, table);
    res_window_close();
    convert_all(table);
    return 0;
}
