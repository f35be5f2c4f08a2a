/*
 * file_walk.cpp - choosing and walking data files (FILE_).
 *
 * A program chooses its data file from the "filename" or "current"
 * resource, or by asking the user, and walks either the list of names of
 * the "filename" resource or a range of times ("num_hour": hours and
 * minutes, with a skip after ',').  Names come from the naming functions
 * of file_name.cpp.
 *
 * State: the walk (the list of names and the position in it, the first
 * date, the range, skip and offset, the seconds walked) and the default
 * range.  A file that cannot be found is reported with "File not found:
 * %s" and, where the program cannot go on without it, ends the program
 * with status 10.
 */
#include "kem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNameBytes = KEM_PATH_MAX;
constexpr int kPromptChars = 79;  /* an answer to the file prompt */
constexpr int kTries = 4;         /* questions before giving up */
constexpr int kNoPeriod = 100000; /* offset in seconds when the period is unknown */
constexpr int kNotFoundStatus = 10;

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

/* An answer that names the current or latest file, or the name itself. */
void take_answer(const char *answer, char *name) {
    if (answer[0] == '#' || starts_with(answer, "cu") || starts_with(answer, "la")) {
        FILE_set_current(starts_with(answer, "cu") ? answer + 2 : answer, name);
        MESS_print(M_mess, "Current filename: %s\n", name);
    } else {
        FILE_set_file(answer, name);
    }
}

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
        take_answer(answer, name);
        if (FILE_exist(name))
            return 1;
        MESS_print(M_warn, "File not found: %s\n", name);
    }
    return 0;
}

/* How a file was chosen without asking. */
enum Chosen { kAsk, kNamed, kCurrent };

/* Steps 1, 2 and 4 of choosing a file: a name given by the "filename"
   resource (kNamed), the current or latest file (kCurrent), or none. */
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

extern "C" {

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

} // extern "C"
