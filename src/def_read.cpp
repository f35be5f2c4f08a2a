/*
 * def_read.cpp - defaults file reader (DEF_).
 *
 * Reads the suite's defaults files: one "key value" setting per line,
 * '#' comments, double-quoted values that keep their blanks, and the
 * directives DEF, UNDEF, IF, ELIF, ELSE and END that define tags and
 * select sections.  A line is a whole line however long: the rest of a
 * long comment is comment, the rest of a long setting is cut.  Because
 * the search path begins with the working directory, a defaults file is
 * outside input: it sets values and never names a command to run, and it
 * is read only when it belongs to the user or to root and neither group
 * nor others may write it (trust.h).
 * The module also matches file keys (patterns with '*') against a
 * program's qualified resource names and looks resources up in the
 * environment.
 *
 * State, process-wide: the one open defaults file, the program name and
 * title that qualify resource names, the tag list (own copies, at most
 * 10) and the sections of the file being read (states of the ten
 * outermost open sections plus the full nesting depth).  Sections never
 * outlive their file: opening or closing a file, or reaching its end,
 * closes them.
 *
 * Failure: DEF_open and DEF_get answer -1; the matchers answer 0.  What a
 * user should hear about (stray ELSE/ELIF/END, sections nested too deep
 * or left open, keys too long to deliver, cut values, values that could
 * open a pipe, files skipped for their owner or mode, file names too
 * long) is printed as a warn message where it
 * is met, and reading goes on.  Nothing throws: allocation failures
 * become the failure result.
 */
#include "kem.h"
#include "text.h"
#include "trust.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t name_max = 29;      // program name, title, bare resource name
constexpr size_t tag_max = 10;       // tags in the list
constexpr int nest_max = 10;         // sections whose state is kept
constexpr size_t line_max = 4096;    // characters of a line kept; the rest is stepped over
constexpr size_t key_max = 49;       // caller's key buffer holds 50 bytes
constexpr size_t value_max = 199;    // caller's value buffers hold 200 bytes
constexpr size_t file_name_max = 79; // full name of a defaults file

// Section states: the branch being read, none taken yet, one taken before.
constexpr int branch_read = 1;
constexpr int branch_pending = 0;
constexpr int branch_done = 99;

struct reader_state {
    FILE *def_file = nullptr;
    std::string file_name; // of def_file, for the messages
    std::string prog_name = "Kem";
    std::string prog_title;
    std::vector<std::string> tag;
    int match[nest_max] = {};
    int depth = 0; // open sections, the unkept deeper ones included
    bool matches = true;
    bool warned_deep = false; // once per file
};

reader_state state;

template <class Body> int guarded(int failure, Body &&body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

/* Copies at most `max` characters and a NUL; answers whether all fitted. */
bool copy_out(std::string_view text, char *out, size_t max) {
    size_t n = std::min(text.size(), max);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n == text.size();
}

std::string limited_name(const char *text) {
    std::string_view view = text ? text : "";
    return std::string(view.substr(0, name_max));
}

/* ------------------------------------------------------------------------
 * Qualified names and key patterns
 * ---------------------------------------------------------------------- */

std::string qualified(const char *res) {
    const std::string &title = state.prog_title;
    if (title.empty())
        return state.prog_name + '.' + res;
    if (title[0] == '+')
        return state.prog_name + '.' + title.substr(1) + '.' + res;
    return title + '.' + res;
}

/*
 * Left to right without backtracking: a '*' jumps to the first occurrence
 * of the literal run after it.  A final '*' has an empty run, so it only
 * meets a name that is already exhausted.
 */
bool key_selects(std::string_view key, std::string_view name) {
    size_t k = 0;
    size_t n = 0;
    while (k < key.size()) {
        if (key[k] == '*') {
            ++k;
            size_t end = key.find('*', k);
            size_t at = name.find(key.substr(k, end == key.npos ? key.npos : end - k), n);
            if (at == name.npos)
                return false;
            n = at;
            if (k == key.size())
                break;
        }
        if (n == name.size() || key[k] != name[n])
            return false;
        ++k;
        ++n;
    }
    return n == name.size();
}

/* The text after the key's last '.' or '*', or null when it has neither. */
const char *bare_name(const char *key) {
    const char *dot = std::strrchr(key, '.');
    const char *star = std::strrchr(key, '*');
    const char *last = dot == nullptr ? star : star == nullptr ? dot : std::max(dot, star);
    return last ? last + 1 : nullptr;
}

/* ------------------------------------------------------------------------
 * Tags and sections
 * ---------------------------------------------------------------------- */

int add_tag(const char *text) {
    if (text == nullptr || state.tag.size() >= tag_max)
        return -1;
    state.tag.emplace_back(text);
    return 0;
}

bool tag_defined(const std::string &text) {
    return std::any_of(state.tag.begin(), state.tag.end(),
                       [&](const std::string &t) { return stricmp(t.c_str(), text.c_str()) == 0; });
}

void remove_tag(const std::string &text) {
    auto it = std::find_if(state.tag.begin(), state.tag.end(), [&](const std::string &t) {
        return stricmp(t.c_str(), text.c_str()) == 0;
    });
    if (it != state.tag.end())
        state.tag.erase(it);
}

void recompute_matches() {
    state.matches = state.depth <= nest_max && std::all_of(state.match, state.match + state.depth,
                                                           [](int s) { return s == branch_read; });
}

void reset_sections() {
    state.depth = 0;
    state.warned_deep = false;
    recompute_matches();
}

/* Sections deeper than the kept ones are counted so that their ELSE, ELIF
   and END still balance, and are never read. */
void open_section(bool defined) {
    if (state.depth < nest_max)
        state.match[state.depth] = defined ? branch_read : branch_pending;
    else if (!state.warned_deep) {
        state.warned_deep = true;
        MESS_print(M_warn, "DEF_get: sections nested too deep\n");
    }
    ++state.depth;
    recompute_matches();
}

/* ELIF with the tag's answer, ELSE with true. */
void next_branch(bool defined) {
    if (state.depth <= nest_max) {
        int &s = state.match[state.depth - 1];
        s = s != branch_pending ? branch_done : defined ? branch_read : branch_pending;
    }
    recompute_matches();
}

void close_section() {
    --state.depth;
    recompute_matches();
}

bool stray(const char *what) {
    if (state.depth > 0)
        return false;
    MESS_print(M_warn, "DEF_get: %s without an if\n", what);
    return true;
}

/* Handles a directive line; false when the first word is not a directive
   (IF, ELIF, DEF and UNDEF without a tag word are not). */
bool run_directive(const std::string &first, const std::string &second) {
    if (first == "ELSE") {
        if (!stray("else"))
            next_branch(true);
    } else if (first == "END") {
        if (!stray("end"))
            close_section();
    } else if (second.empty()) {
        return false;
    } else if (first == "DEF") {
        add_tag(second.c_str());
    } else if (first == "UNDEF") {
        remove_tag(second);
    } else if (first == "IF") {
        open_section(tag_defined(second));
    } else if (first == "ELIF") {
        if (!stray("elif"))
            next_branch(tag_defined(second));
    } else {
        return false;
    }
    return true;
}

/* ------------------------------------------------------------------------
 * Lines
 * ---------------------------------------------------------------------- */

/* The next blank-separated word from `pos` on; `pos` moves past it and
   `start` is where it begins. */
std::string_view next_word(std::string_view line, size_t &pos, size_t &start) {
    while (pos < line.size() && is_blank(line[pos]))
        ++pos;
    start = pos;
    while (pos < line.size() && !is_blank(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

std::string key_of(std::string_view word) {
    std::string key(word);
    for (char &c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!key.empty() && key.back() == ':')
        key.pop_back();
    return key;
}

std::string_view value_of(std::string_view line, size_t start, std::string_view word) {
    if (word[0] != '"')
        return word;
    std::string_view rest = line.substr(start + 1);
    return rest.substr(0, rest.find('"'));
}

/* Delivers a key line of a section being read; directives and lines that
   are not settings give false.  `cut` tells that the line went on past
   what was kept of it. */
bool take_line(std::string_view line, bool cut, char *key, char *value) {
    size_t pos = 0;
    size_t first_at = 0;
    size_t second_at = 0;
    std::string_view first = next_word(line, pos, first_at);
    std::string_view second = next_word(line, pos, second_at);
    if (first.empty() || run_directive(std::string(first), std::string(second)))
        return false;
    if (second.empty() || !state.matches)
        return false;
    std::string k = key_of(first);
    if (k.size() > key_max) {
        MESS_print(M_warn, "DEF_get: key longer than 49 characters skipped: %.49s...\n", k.c_str());
        return false;
    }
    std::string_view v = value_of(line, second_at, second);
    /* A defaults file may be anyone's (the search path begins with the
       working directory): it sets values, it never runs commands. */
    if (refuse_command(("DEF_get: " + state.file_name).c_str(), k.c_str(), v))
        return false;
    copy_out(k, key, key_max);
    bool reaches_end = v.data() + v.size() == line.data() + line.size();
    if (!copy_out(v, value, value_max) || (cut && reaches_end))
        MESS_print(M_warn, "DEF_get: value of %s cut to 199 characters\n", key);
    return true;
}

void close_file() {
    if (state.def_file != nullptr)
        FILE_close(state.def_file);
    state.def_file = nullptr;
    reset_sections();
}

/* The first of the directory's defaults files that exists, else the last
   name tried.  `dir` is at most file_name_max characters. */
std::string file_in_dir(const std::string &dir) {
    char path[KEM_PATH_MAX];
    copy_out(dir, path, file_name_max);
    FILE_add_path_delim(path);
    std::string tried;
    for (const char *base : {"kem.cfg", ".kemdef", "Kem.res"}) {
        tried = std::string(path) + base;
        if (tried.size() <= file_name_max && FILE_exist(tried.c_str()))
            break;
    }
    return tried;
}

} // namespace

/* ------------------------------------------------------------------------
 * Program name, title and tags
 * ---------------------------------------------------------------------- */

int DEF_prog(void) {
    if (RES_get_prog() == nullptr)
        return 0; // no command line remembered yet: keep "Kem"
    char name[KEM_PATH_MAX] = "";
    RES_get_progname(name);
    return guarded(0, [&] {
        state.prog_name = limited_name(name);
        return 0;
    });
}

int DEF_name(const char *name) {
    return DEF_title(name);
}

int DEF_title(const char *title) {
    return guarded(0, [&] {
        state.prog_title = limited_name(title);
        return 0;
    });
}

int DEF_clr_tag(void) {
    state.tag.clear();
    return 0;
}

int DEF_tag(const char *tag) {
    return guarded(-1, [&] { return add_tag(tag); });
}

/* ------------------------------------------------------------------------
 * Reading a file
 * ---------------------------------------------------------------------- */

int DEF_open(const char *name) {
    return guarded(-1, [&] {
        std::string file = name && *name ? name : ".kemdef";
        if (file.size() <= file_name_max && FILE_is_dir(file.c_str()))
            file = file_in_dir(file);
        close_file();
        if (file.size() > file_name_max) {
            MESS_print(M_warn, "DEF_open: file name too long: %.79s...\n", file.c_str());
            return -1;
        }
        /* The search path begins with the working directory: a file on
           disk is read only when nobody but the user or root could have
           written it. */
        state.def_file = open_settings(file.c_str(), "DEF_open");
        state.file_name = file;
        return state.def_file ? 0 : -1;
    });
}

int DEF_close(void) {
    close_file();
    return 0;
}

int DEF_get(char *key, char *value) {
    if (key == nullptr || value == nullptr || state.def_file == nullptr)
        return -1;
    return guarded(-1, [&] {
        std::string line;
        bool cut = false;
        int got;
        /* The rest of a long line is stepped over, never taken for a line
           of its own: a comment's rest stays comment, a setting's is cut. */
        while ((got = read_line(state.def_file, line, line_max, cut)) >= 0) {
            if (got > 0 && line[0] != '#' && take_line(line, cut, key, value))
                return 1;
        }
        if (state.depth > 0)
            MESS_print(M_warn, "DEF_get: if without an end\n");
        reset_sections();
        return -1;
    });
}

/* ------------------------------------------------------------------------
 * Matching and the environment
 * ---------------------------------------------------------------------- */

int DEF_cmp(const char *res, const char *key) {
    if (res == nullptr || key == nullptr)
        return 0;
    return guarded(0, [&] { return key_selects(key, qualified(res)) ? 1 : 0; });
}

int DEF_valid(const char *key) {
    if (key == nullptr)
        return 0;
    const char *bare = bare_name(key);
    if (bare == nullptr || *bare == '\0' || std::strlen(bare) > name_max)
        return 0;
    return DEF_cmp(bare, key);
}

int DEF_parse_name(const char *key, char *name) {
    if (name == nullptr)
        return 1;
    const char *bare = key ? bare_name(key) : "";
    copy_out(bare ? bare : key, name, name_max);
    return 1;
}

int DEF_env(const char *res, const char *env, char *value) {
    if (res == nullptr || value == nullptr)
        return 0;
    return guarded(0, [&] {
        const char *found = std::getenv(("kem" + qualified(res)).c_str());
        if (found == nullptr && env != nullptr && *env != '\0')
            found = std::getenv(env);
        if (found == nullptr)
            found = std::getenv(("kem" + std::string(res)).c_str());
        if (found == nullptr)
            return 0;
        if (!copy_out(found, value, value_max))
            MESS_print(M_warn, "DEF_env: value of %s cut to 199 characters\n", res);
        return 1;
    });
}
