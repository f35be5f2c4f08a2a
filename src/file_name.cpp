/*
 * file_name.cpp - data file naming (FILE_): templates and settings.
 *
 * Data files are named by templates: a type, looked up in the name
 * convention file, gives a template of path, date and key conversions and
 * fixed text.  This file selects templates, builds names from dates
 * (FILE_set_date) and keeps the settings; file_match.cpp reads typed
 * names back, file_current.cpp finds the current file and file_walk.cpp
 * lists the files a template can match.
 *
 * State: the naming record of file_name.h, which those files share.
 * Names never fail to build: unset fields give zeros, unset resources
 * give ".", longer texts are cut to their fields, N = 0 counts as 1 and a
 * step code with step 0 is ignored with a warning.
 */
#include "file_name.h"
#include "step_code.h"
#include "text.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace file_naming;

NameState file_naming::naming;

/* ------------------------------------------------------------------------
 * Building names
 * ---------------------------------------------------------------------- */

namespace {

/* The resource that each path conversion letter inserts. */
constexpr struct {
    char letter;
    const char *resource;
} kPaths[] = {{'C', "con_path"},   {'D', "data_path"},  {'F', "file_path"},  {'R', "raw_path"},
              {'G', "grid_path"},  {'I', "image_path"}, {'W', "watch_path"}, {'T', "text_path"},
              {'M', "model_path"}, {'S', "sat_path"}};

const char *path_resource(char letter) {
    for (const auto &path : kPaths)
        if (path.letter == letter)
            return path.resource;
    return nullptr;
}

constexpr int kMinCode = -99999; /* codes below are too large for a period */

/* The step of a fixed date field: for the day the whole negative code,
   for the hour and minute a step code.  False for any other code, for a
   step of 0 (warned about when `warn` is set) and below kMinCode. */
bool stepped(int code, bool day, bool warn, StepCode &step) {
    if (code < kMinCode)
        return false;
    if (!day)
        return read_step_code(code, step, warn);
    if (code >= 0 || code == KEM_MISSING)
        return false;
    step = StepCode{-code, 0};
    return true;
}

/* `value` with at least `width` digits, zeros in front. */
std::string digits(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%*.*d", width, width, value);
    return text;
}

int round_down(int value, int n) {
    return n > 1 ? value / n * n : value;
}

/* The value of a date field: fixed in `set`, not set, stepped, or the
   date's own rounded down to a multiple of n.  KEM_MISSING when unset. */
int field_value(int own, int fixed, bool year_or_month, bool day, int n) {
    if (year_or_month ? fixed != KEM_MISSING : fixed >= 0)
        return year_or_month || day ? fixed : round_down(fixed, n);
    if (own < 0)
        return KEM_MISSING;
    StepCode step;
    if (!year_or_month && stepped(fixed, day, true, step))
        return step.apply(own);
    return round_down(own, n);
}

/* Expands one date conversion of `date` into `out`, storing the value
   used in the file date. */
void expand_date(const Conv &c, const Date &date, Out &out) {
    Date &used = naming.file_date;
    const Date &set = naming.set;
    int n = std::max(c.n, 1);
    switch (c.letter) {
    case 'Y':
    case 'y': {
        int year = field_value(date.year, set.year, true, false, 1);
        if (year != KEM_MISSING && c.letter == 'y')
            year = round_down(year % 100, n) + year / 100 * 100;
        else if (year != KEM_MISSING)
            year = round_down(year, n);
        used.year = year;
        int shown = year == KEM_MISSING ? 0 : c.letter == 'Y' ? year : year % 100;
        out.add(digits(shown, c.letter == 'Y' ? 4 : 2));
        break;
    }
    case 'm':
    case 'b': {
        int month = field_value(date.month, set.month, true, false, 1);
        if (month != KEM_MISSING && c.letter == 'm')
            month = round_down(month, n);
        used.month = month;
        if (c.letter == 'm')
            out.add(digits(month == KEM_MISSING ? 0 : month, 2));
        else
            out.add(month == KEM_MISSING ? std::string("xxx") : cut(DATE_month_lower(month), 3));
        break;
    }
    case 'd':
    case 'j': {
        int day = field_value(date.day, set.day, false, true, n);
        used.day = day;
        lower_period(c.letter, n, false);
        if (c.letter == 'd') {
            out.add(digits(day == KEM_MISSING ? 0 : day, 2));
        } else {
            int julian = 0;
            if (day != KEM_MISSING && used.year != KEM_MISSING && used.month != KEM_MISSING)
                DATE_monday_julian(used.year, used.month, day, &julian);
            out.add(digits(std::clamp(julian, 0, 999), 3));
        }
        break;
    }
    case 'h':
    case 'n': {
        bool hour = c.letter == 'h';
        int value =
            field_value(hour ? date.hour : date.min, hour ? set.hour : set.min, false, false, n);
        (hour ? used.hour : used.min) = value;
        lower_period(c.letter, n, false);
        out.add(digits(value == KEM_MISSING ? 0 : value, 2));
        break;
    }
    }
}

/* The directory of a typed complete name that stands in for every path
   conversion, so that its neighbours are found in its own directory. */
std::string extracted_path(const std::string &tmpl) {
    if (naming.filename_type != 1 || !FILE_fullpath(naming.filename))
        return "";
    int count = static_cast<int>(
        std::count_if(tmpl.begin(), tmpl.end(), [](char c) { return c == '/' || c == ':'; }));
    const char *name = naming.filename;
    long at = static_cast<long>(std::strlen(name)) - 1, cut_at = -1;
    for (; at >= 0 && count > 0; --at)
        if (name[at] == '/' || (name[at] == ':' && at == 1)) {
            cut_at = at;
            --count;
        }
    if (cut_at < 0)
        return "";
    std::string path(name, static_cast<size_t>(cut_at));
    MESS_print(M_debug, "Extracted path: %s\n", path.c_str());
    return path;
}

/* The name of `date`: the template with its conversions expanded, its
   blanks made '_' and its braces dropped. */
std::string expand(const std::string &tmpl, const Date &date, const std::string &extracted) {
    Out out;
    for (const char *p = tmpl.c_str(); *p;) {
        char c = *p;
        if (c != '%') {
            if (c != '{' && c != '}')
                out.add(c == ' ' ? '_' : c);
            ++p;
            continue;
        }
        Conv conv;
        if (!read_conv(p + 1, conv)) {
            out.add(p);
            break;
        }
        p = conv.end;
        if (conv.letter == '%')
            out.add('%');
        else if (is_date_letter(conv.letter))
            expand_date(conv, date, out);
        else if (conv.letter == 'e')
            out.add(naming.ext);
        else if (is_path_letter(conv.letter))
            out.add(path_text(conv, extracted));
        else
            out.add(key_text(conv));
    }
    return out.text;
}

/* Builds the name of `datim` (of the last file date when null) from the
   template or the header template; 0 when expanded, 1 otherwise. */
int build_name(const Date *datim, char *out_file, bool header) {
    const std::string &tmpl = header ? naming.hconv : naming.conv;
    if (tmpl.empty()) {
        if (naming.filename[0] == '\0')
            set_filename("filename", 1);
        put_name(out_file, naming.filename);
        return 1;
    }
    if (FILE_is_stdio(tmpl.c_str())) {
        set_filename("-", 0);
        put_name(out_file, "-");
        return 1;
    }
    std::string extracted = extracted_path(tmpl);
    naming.late_off = KEM_MISSING;
    Date date = datim ? *datim : naming.file_date;
    if (datim) {
        Date &f = naming.file_date;
        f.year = f.month = f.day = f.hour = f.min = KEM_MISSING;
    }
    if (date.year == KEM_MISSING && naming.filename[0] != '\0') {
        naming.filename_type = 1;
        put_name(out_file, naming.filename);
        return 1;
    }
    std::string name = expand(tmpl, date, extracted);
    set_filename(name, 0);
    put_name(out_file, name);
    return 0;
}

} // namespace

/* The conversions of a template, which matching and listing read too. */

bool file_naming::read_conv(const char *p, Conv &conv) {
    long n = 0;
    while (is_digit(*p)) {
        conv.given = true;
        n = std::min(n * 10 + (*p - '0'), 100000L);
        ++p;
    }
    if (*p == '\0')
        return false;
    conv.n = conv.given ? static_cast<int>(n) : 1;
    conv.letter = *p;
    if (*p == '{') {
        const char *close = std::strchr(p, '}');
        if (close == nullptr)
            return false;
        conv.name = std::string(p + 1, std::min<size_t>(close - p - 1, 49));
        p = close;
    }
    conv.end = p + 1;
    return true;
}

bool file_naming::is_path_letter(char c) {
    return path_resource(c) != nullptr || c == '{';
}

std::string file_naming::path_text(const Conv &conv, const std::string &extracted) {
    if (!extracted.empty())
        return extracted;
    const char *value =
        RES_get(conv.letter == '{' ? conv.name.c_str() : path_resource(conv.letter));
    if (value != nullptr)
        return cut(value, kNameChars);
    return conv.letter == '{' ? "" : ".";
}

std::string file_naming::key_text(const Conv &c) {
    std::string text = key_of(c.letter);
    if (text.empty())
        return "0";
    if (c.given && c.n > 0 && static_cast<size_t>(c.n) < text.size())
        text.resize(static_cast<size_t>(c.n));
    return text;
}

void file_naming::lower_period(char letter, int n, bool warn) {
    long long unit = letter == 'h' ? 3600 : letter == 'n' ? 60 : 86400;
    bool day = letter == 'd' || letter == 'j';
    int code = day ? naming.set.day : letter == 'h' ? naming.set.hour : naming.set.min;
    StepCode step;
    if (stepped(code, day, warn, step)) {
        naming.late_off = static_cast<int>(step.step * unit);
        return;
    }
    long long period = std::min<long long>(std::max(n, 1) * unit, INT_MAX);
    if (naming.late_off == KEM_MISSING || period < naming.late_off)
        naming.late_off = static_cast<int>(period);
}

void file_naming::name_of(time_t secs, char *out) {
    Date d;
    DATE_get_gmdate(&secs, &d);
    build_name(&d, out, false);
}

int FILE_set_date(const Date *datim, char *out_file) {
    return build_name(datim, out_file, false);
}

int FILE_hdr_set_date(const Date *datim, char *out_file) {
    Date date = datim ? *datim : naming.file_date;
    if (date.year == KEM_MISSING || naming.hconv.empty()) {
        put_name(out_file, "");
        return 0;
    }
    return build_name(&date, out_file, true) == 0 ? 1 : 0;
}

int FILE_set_date_off(const Date *datim, int offset, char *out_file) {
    Date date = datim ? *datim : naming.file_date;
    time_t secs = DATE_num_sec(&date) + offset;
    name_of(secs, out_file);
    return offset / (naming.late_off > 0 ? naming.late_off : 100000);
}

/* ------------------------------------------------------------------------
 * Selecting a type: the name convention file
 * ---------------------------------------------------------------------- */

namespace {

constexpr size_t kTypeChars = 19; /* type name of a convention line */

/* Takes the settings "c=text" after every ':' of `type` as key texts and
   cuts the type before the first one. */
void take_key_settings(std::string &type) {
    size_t first = std::string::npos;
    for (size_t at = type.find(':'); at != std::string::npos; at = type.find(':', at + 1)) {
        if (at + 2 >= type.size() || type[at + 2] != '=')
            continue;
        size_t end = type.find(':', at + 3);
        std::string text = type.substr(at + 3, end == std::string::npos ? end : end - at - 3);
        if (text.empty())
            continue;
        FILE_set_key(type[at + 1], text.c_str());
        MESS_print(M_debug, "KEY: %c = %s\n", type[at + 1], key_of(type[at + 1]));
        first = std::min(first, at);
    }
    if (first != std::string::npos)
        type.resize(first);
}

/* The part of the requested type after its last '_', bounded. */
std::string extension_of(const std::string &type) {
    size_t at = type.rfind('_');
    return at == std::string::npos ? "" : type.substr(at + 1, kExtChars);
}

/* Takes the templates of the first line "type template [header
   template|-] [minimum size]" whose type is `type` or begins it: 1;
   otherwise 0, and `type` itself is the template. */
int search_conventions(FILE *file, const std::string &type) {
    char line[KEM_LINE_MAX + 1];
    while (fgetnline(file, line, KEM_LINE_MAX) >= 0) {
        const char *p = line;
        std::string entry = line[0] == '#' ? "" : next_word(p, kTypeChars);
        if (entry.empty() ||
            strnicmp(entry.c_str(), type.c_str(), static_cast<int>(entry.size())) != 0)
            continue;
        naming.conv = next_word(p, kNameChars);
        naming.hconv = next_word(p, kNameChars);
        if (naming.hconv == "-")
            naming.hconv.clear();
        naming.min_size = std::atoi(next_word(p, 20).c_str());
        if (stricmp(entry.c_str(), type.c_str()) == 0) {
            MESS_print(M_debug, "File name match for: %s\n", type.c_str());
            return 1;
        }
        naming.ext = extension_of(type); /* the type begins with the line's */
        MESS_print(M_debug, "File name partial match for: %s-%s ext: %s\n", entry.c_str(),
                   type.c_str(), naming.ext.c_str());
        return 1;
    }
    naming.conv = type;
    naming.hconv.clear();
    naming.min_size = 0;
    MESS_print(M_debug, "No file name conversion for: %s\n", type.c_str());
    return 0;
}

} // namespace

int FILE_set_name(const char *type) {
    if (!naming.keys_cleared) {
        std::memset(naming.keys, 0, sizeof naming.keys);
        naming.keys_cleared = true;
    }
    naming.filename[0] = '\0';
    std::string text = cut(type, kNameChars);
    if (stricmp(text.c_str(), "none") == 0) {
        naming.conv.clear();
        return 0;
    }
    if (text[0] == '@') {
        naming.conv = text.substr(1);
        return 1;
    }
    take_key_settings(text);
    const char *conv_name = RES_get("name_conv");
    char path[KEM_PATH_MAX];
    FILE *file = nullptr;
    if (FILE_add_path(RES_get("file_path"), conv_name ? conv_name : "name_conv", path))
        file = FILE_open(path, "r");
    if (file == nullptr) {
        MESS_print(M_warn, "FILE_set_name: No file name convention file: %s\n", path);
        naming.conv = text;
        return 0;
    }
    MESS_print(M_debug, "Opening name convention file: %s\n", path);
    naming.ext.clear();
    int found = search_conventions(file, text);
    FILE_close(file);
    return found;
}

int FILE_set_name_conv(const char *str) {
    naming.hconv.clear();
    if (str == nullptr)
        return 0;
    const char *p = str;
    naming.late_off = std::atoi(next_word(p, 20).c_str());
    naming.conv = next_word(p, kNameChars);
    naming.hconv = next_word(p, kNameChars);
    return 0;
}

int FILE_get_name_conv(char *str) {
    if (str != nullptr)
        std::snprintf(str, KEM_PATH_MAX, "%d %s %s", naming.late_off, naming.conv.c_str(),
                      naming.hconv.c_str());
    return 0;
}

int FILE_save_name_conv(void) {
    naming.saved = {naming.late_off, naming.conv, naming.hconv, naming.filename,
                    naming.filename_type};
    return 0;
}

int FILE_restore_name_conv(void) {
    naming.late_off = naming.saved.late_off;
    naming.conv = naming.saved.conv;
    naming.hconv = naming.saved.hconv;
    set_filename(naming.saved.filename, naming.saved.filename_type);
    return 0;
}

/* ------------------------------------------------------------------------
 * Simple settings
 * ---------------------------------------------------------------------- */

int FILE_set_filename(const char *str) {
    set_filename(cut(str, kNameChars), 1);
    return 0;
}

char *FILE_get_filename(char *str) {
    if (str != nullptr)
        put_name(str, naming.filename);
    return naming.filename;
}

int FILE_set_late_off(int val) {
    naming.late_off = val;
    return 0;
}

int FILE_get_late_off(void) {
    return naming.late_off;
}

int FILE_set_min_size(int val) {
    naming.rmin_size = val;
    return 0;
}

int FILE_get_min_size(void) {
    return naming.rmin_size != 0 ? naming.rmin_size : naming.min_size;
}

int FILE_set_time(const Date *datim) {
    if (datim != nullptr)
        naming.set = *datim;
    return 0;
}

int FILE_get_time(Date *datim) {
    if (datim != nullptr)
        *datim = naming.set;
    return 0;
}

int FILE_reset_time(void) {
    Date &s = naming.set;
    s.year = s.month = s.day = s.hour = s.min = KEM_MISSING;
    return 0;
}

int FILE_set_key(int key, const char *str) {
    char *text = naming.keys[static_cast<unsigned char>(key)];
    size_t n = str ? strnlen(str, kKeyChars) : 0;
    for (size_t i = 0; i < n; ++i)
        text[i] = str[i] == ' ' ? '_' : str[i];
    text[n] = '\0';
    return 0;
}

int FILE_get_key(int key, char *str) {
    if (str != nullptr)
        std::strcpy(str, naming.keys[static_cast<unsigned char>(key)]);
    return 0;
}

int FILE_set_type(int type) {
    naming.file_type = type;
    return 0;
}

int FILE_set_ext_info(const char *str) {
    naming.ext_info = cut(str, kInfoChars);
    return 0;
}

const char *FILE_get_ext_info(void) {
    return naming.ext_info.c_str();
}

int FILE_get_date(Date *date) {
    if (date != nullptr)
        *date = naming.file_date;
    return 0;
}
