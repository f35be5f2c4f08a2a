/*
 * file_walk.cpp - choosing, walking and listing data files (FILE_).
 *
 * A program chooses its data file from the "filename" or "current"
 * resource, or by asking the user, and walks either the list of names of
 * the "filename" resource or a range of times ("num_hour": hours and
 * minutes, with a skip after ',').  FILE_list_file lists the files that
 * the template can match, by glob(3) and without a shell: nothing from a
 * resource runs.  Names come from the naming functions of file_name.cpp.
 *
 * State: the walk (the list of names and the position in it, the first
 * date, the range, skip and offset, the seconds walked) and the default
 * range.  A file that cannot be found is reported with "File not found:
 * %s" and, where the program cannot go on without it, ends the program
 * with status 10.
 */
#include "file_name.h"

#include <glob.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace file_naming;

namespace {

struct Walk {
    std::vector<std::string> names;
    size_t next = 0;
    Date first{};
    int num_hour = 0;
    int offset = 3600;
    int secs = 0;
    int nsecs = 0;
    int def_hours = 0;
    bool list = false;
};

Walk walk;

std::vector<std::string> resource_values(const char *name) {
    int count = 0;
    char **items = nullptr;
    std::vector<std::string> values;
    if (RES_getvals(name, &count, &items) > 0)
        values.assign(items, items + count);
    free_parsed_array(count, items);
    return values;
}

bool starts_with(const char *text, const char *word) {
    return strnicmp(text, word, static_cast<int>(std::strlen(word))) == 0;
}

/* ------------------------------------------------------------------------
 * Choosing a file
 * ---------------------------------------------------------------------- */

constexpr int kNameBytes = KEM_PATH_MAX;
constexpr int kPromptChars = 79; /* an answer to the file prompt */
constexpr int kTries = 4;        /* questions before giving up */
constexpr int kNotFoundStatus = 10;

/* Asks up to `tries` times; 1 when an existing file was named. */
int ask_for_file(const char *prompt, char *name, int tries) {
    MESS_print(M_print, "List of available files:\n");
    FILE_list_file();
    MESS_print(M_print, "\n");
    for (int i = 0; i < tries; ++i) {
        char answer[kPromptChars + 1] = "";
        KEM_prompts(prompt, answer, kPromptChars);
        if (stricmp(answer, "exit") == 0)
            KEM_exit(0);
        if (stricmp(answer, "list") == 0) {
            FILE_list_file();
            continue;
        }
        if (!name_current(answer, name))
            FILE_set_file(answer, name);
        if (FILE_exist(name))
            return 1;
        MESS_print(M_warn, "File not found: %s\n", name);
    }
    return 0;
}

enum Chosen { kAsk, kNamed, kCurrent };

/* A file chosen without asking: the name the "filename" resource gives
   (kNamed; "list" lists the files and ends the program), the file the
   "current" resource names or in batch runs the latest (kCurrent), or
   none (kAsk). */
Chosen choose_without_asking(char *name) {
    std::vector<std::string> values = resource_values("filename");
    if (!values.empty()) {
        if (stricmp(values[0].c_str(), "list") == 0) {
            FILE_list_file();
            KEM_exit(0);
        }
        FILE_set_file(values[0].c_str(), name);
        return kNamed;
    }
    if (const char *current = RES_get("current")) {
        FILE_set_current(current, name);
        return kCurrent;
    }
    if (FLAG_batch()) {
        FILE_set_current("la", name);
        return kCurrent;
    }
    return kAsk;
}

void copy_name(char *outfile, const char *name) {
    if (outfile != nullptr)
        std::snprintf(outfile, kNameBytes, "%s", name);
}

} // namespace

int FILE_get_file(const char *prompt, char *outfile) {
    char name[kNameBytes] = "";
    Chosen chosen = choose_without_asking(name);
    if (chosen == kAsk && !ask_for_file(prompt, name, kTries))
        KEM_exit(kNotFoundStatus);
    copy_name(outfile, name);
    if (chosen == kAsk)
        return 1;
    if (chosen == kNamed) /* a name the user gave: whether it exists */
        return FILE_exist(name) ? 1 : 0;
    if (!FILE_exist(name)) {
        MESS_print(M_warn, "File not found: %s\n", name);
        KEM_exit(kNotFoundStatus);
    }
    MESS_print(M_mess, "Current filename: %s\n", name);
    return 1;
}

int FILE_get_file_only(const char *prompt, char *outfile) {
    char name[kNameBytes] = "";
    Chosen chosen = choose_without_asking(name);
    int found = chosen == kAsk ? ask_for_file(prompt, name, 1) : FILE_exist(name);
    copy_name(outfile, name);
    return found ? 1 : 0;
}

/* ------------------------------------------------------------------------
 * Walking
 * ---------------------------------------------------------------------- */

namespace {

constexpr int kNoPeriod = 100000; /* offset in seconds when the period is unknown */

/* Reads "hours:minutes" or ":minutes" into seconds; a leading '-' with 0
   hours, or negative hours, makes the minutes negative too. */
bool read_range(const char *text, int *seconds) {
    int hours = 0, minutes = 0;
    if (text[0] == ':') {
        if (std::sscanf(text, ":%6d", &minutes) != 1)
            return false;
    } else if (std::sscanf(text, "%5d:%6d", &hours, &minutes) < 1) {
        return false;
    }
    if (hours < 0 || (text[0] == '-' && hours == 0))
        minutes = -std::abs(minutes);
    *seconds = hours * 3600 + minutes * 60;
    return true;
}

/* The name of the first date plus `secs`. */
void name_at(int secs, char *file) {
    FILE_set_date_off(&walk.first, secs, file);
}

} // namespace

int FILE_num_hour(void) {
    const char *value = RES_get("num_hour");
    int seconds = 0;
    if (value == nullptr || !read_range(value, &seconds))
        return walk.def_hours;
    return seconds;
}

int FILE_get_skip(void) {
    const char *value = RES_get("num_hour");
    const char *comma = value ? std::strchr(value, ',') : nullptr;
    int seconds = 0;
    if (comma == nullptr || !read_range(comma + 1, &seconds))
        return FILE_get_late_off();
    return seconds;
}

int FILE_get_offset(void) {
    int period = FILE_get_late_off();
    return period > 0 ? period : kNoPeriod;
}

int FILE_set_def_hours(int hour) {
    walk.def_hours = hour * 3600;
    return 0;
}

int FILE_first(const Date *datim) {
    walk.names = resource_values("filename");
    if (!walk.names.empty() &&
        (starts_with(walk.names[0].c_str(), "la") || starts_with(walk.names[0].c_str(), "cu")))
        walk.names.clear();
    walk.next = 0;
    if (datim != nullptr)
        walk.first = *datim;
    else
        FILE_get_date(&walk.first);
    walk.num_hour = FILE_num_hour();
    int skip = FILE_get_skip();
    walk.offset = FILE_get_offset();
    if (skip / walk.offset >= 1)
        walk.offset *= skip / walk.offset;
    walk.secs = walk.nsecs =
        walk.num_hour < 0 ? (walk.num_hour - walk.offset + 1) / walk.offset * walk.offset : 0;
    walk.list = walk.names.size() > 1 || (walk.names.size() == 1 && RES_get("num_hour") == nullptr);
    return 0;
}

int FILE_get_next(char *file) {
    if (walk.list) {
        if (walk.next >= walk.names.size())
            return 0;
        FILE_set_file(walk.names[walk.next++].c_str(), file);
        return 1;
    }
    if ((walk.num_hour >= 0 && walk.nsecs > walk.num_hour) || (walk.num_hour < 0 && walk.nsecs > 0))
        return 0;
    if (walk.num_hour == 0)
        FILE_get_filename(file);
    else
        name_at(walk.nsecs, file);
    MESS_print(M_debug, "NEXT: %d %d %d %d %d %s\n", walk.num_hour, walk.offset, walk.secs,
               walk.nsecs, FILE_get_late_off(), file ? file : "");
    walk.nsecs += walk.offset;
    return 1;
}

int FILE_next_file(char *file) {
    name_at(walk.secs + walk.offset, file);
    return 0;
}

int FILE_prev_file(char *file) {
    name_at(walk.secs - walk.offset, file);
    return 0;
}

int FILE_get_num_hour(void) {
    return walk.num_hour;
}

int FILE_get_num_file(void) {
    return walk.list ? static_cast<int>(walk.names.size()) - 1 : walk.num_hour;
}

int FILE_get_nsecs(void) {
    return walk.nsecs;
}

int FILE_set_nsecs(int val) {
    walk.nsecs = val;
    return 0;
}

int FILE_print_first_date(const char *str) {
    MESS_print(M_debug, "%s", str ? str : "");
    DATE_print(M_debug, &walk.first);
    return 0;
}

/* ------------------------------------------------------------------------
 * Listing
 * ---------------------------------------------------------------------- */

namespace {

constexpr int kListWidth = 80; /* line width of the file listing */

/* `text` with the characters glob(3) treats as patterns escaped. */
std::string literal_pattern(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (std::strchr("*?[]\\", c))
            out += '\\';
        out += c;
    }
    return out;
}

/* The characters a date conversion gives, as a pattern. */
const char *date_pattern(char letter) {
    return letter == 'Y'   ? "?[0-9]??"
           : letter == 'b' ? "?[a-z]?"
           : letter == 'j' ? "?[0-9]?"
                           : "[0-9]?";
}

/* The pattern of the files that the template can name. */
std::string list_pattern() {
    std::string pattern;
    for (const char *p = naming.conv.c_str(); *p;) {
        if (*p != '%') {
            if (*p != '{' && *p != '}')
                pattern += literal_pattern(std::string(1, *p));
            ++p;
            continue;
        }
        Conv c;
        if (!read_conv(p + 1, c)) {
            pattern += literal_pattern(p);
            break;
        }
        p = c.end;
        if (is_date_letter(c.letter))
            pattern += date_pattern(c.letter);
        else if (c.letter == '%')
            pattern += '%';
        else if (c.letter == 'e')
            pattern += naming.ext.empty() ? "*" : literal_pattern(naming.ext);
        else if (is_path_letter(c.letter))
            pattern += literal_pattern(path_text(c, ""));
        else if (key_of(c.letter)[0] != '\0')
            pattern += literal_pattern(key_text(c));
        else if (c.given && c.n > 0)
            pattern += std::string(static_cast<size_t>(std::min(c.n, 159)), '?');
        else
            pattern += '*';
    }
    return pattern;
}

/* Prints names across in columns, as "ls -x" does on an 80-column line. */
void print_columns(const std::vector<std::string> &names) {
    size_t width = 0;
    for (const std::string &name : names)
        width = std::max(width, name.size());
    width += 2;
    size_t per_line = std::max<size_t>(1, kListWidth / width);
    std::string line;
    for (size_t i = 0; i < names.size(); ++i) {
        bool last = (i + 1) % per_line == 0 || i + 1 == names.size();
        line += names[i];
        if (!last) {
            line.append(width - names[i].size(), ' ');
            continue;
        }
        MESS_print(M_print, "%s\n", line.c_str());
        line.clear();
    }
}

} // namespace

int FILE_list_file(void) {
    std::string pattern = list_pattern();
    MESS_print(M_debug, "SEARCH: %s\n", pattern.c_str());
    glob_t found{};
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0)
        print_columns(std::vector<std::string>(found.gl_pathv, found.gl_pathv + found.gl_pathc));
    globfree(&found);
    return 0;
}
