/*
 * file_name.cpp - data file naming (FILE_).
 *
 * Data files are named by templates: a type, looked up in the name
 * convention file, gives a template of path, date and key conversions and
 * fixed text.  This file builds names from dates (FILE_set_date), reads
 * typed names back into dates (FILE_set_file), finds the current or latest
 * file of a type (FILE_set_current) and lists the files a template can
 * match (FILE_list_file, without a shell: nothing from a resource runs).
 *
 * State: one naming record (the current name, the templates, the file
 * period, the fixed and stepped date fields, the key texts ...), with the
 * initial values the rest of the suite expects.  Names never fail to
 * build: unset fields give zeros, unset resources give ".".  Every text is
 * bounded by its field: longer key texts, extensions, template fields and
 * expansions are cut, never written past the end.  A period of 0 (from
 * N = 0 or a step of 0) is never divided by: N = 0 counts as 1, a step
 * code with step 0 is ignored with a warning.
 */
#include "kem.h"
#include "step_code.h"
#include "text.h"

#include <glob.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kKeyCount = 256;
constexpr size_t kKeyChars = 29;   /* a key text holds 30 bytes */
constexpr size_t kNameChars = 159; /* names and templates hold 160 bytes */
constexpr size_t kExtChars = 19;   /* `ext` holds 20 bytes */
constexpr size_t kInfoChars = 39;  /* `ext_info` holds 40 bytes */
constexpr size_t kTypeChars = 19;  /* type name of a convention line */
constexpr int kLatestTries = 500;  /* default limit of the latest-file search */
constexpr int kMaxTries = 100000;  /* a larger limit given after '#' is cut to this */
constexpr int kListWidth = 80;     /* line width of the file listing */
constexpr int kMinCode = -99999;   /* codes below are too large for a period */

struct Saved {
    int late_off = 3600;
    std::string conv, hconv, filename;
    int filename_type = 0;
};

Date unset_date(int sec) {
    return Date{KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING,
                KEM_MISSING, KEM_MISSING, KEM_MISSING, sec};
}

struct NameState {
    char filename[kNameChars + 1] = "";
    int filename_type = 0;
    std::string conv, hconv, ext, ext_info;
    int late_off = 3600;
    int min_size = 0, rmin_size = 0;
    Date set = unset_date(0);
    Date file_date = unset_date(0);
    char keys[kKeyCount][kKeyChars + 1] = {};
    bool keys_cleared = false; /* the first FILE_set_name clears them */
    int header = 0;
    int file_type = 0;
    Saved saved;
};

NameState naming;

/* ------------------------------------------------------------------------
 * Bounded texts
 * ---------------------------------------------------------------------- */

std::string cut(const char *text, size_t limit) {
    return text ? std::string(text, strnlen(text, limit)) : std::string();
}

/* Copies `text` into a caller's buffer of kNameChars + 1 bytes. */
void put_name(char *out, const std::string &text) {
    if (out == nullptr)
        return;
    size_t n = std::min(text.size(), kNameChars);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

void set_filename(const std::string &text, int type) {
    put_name(naming.filename, text);
    naming.filename_type = type;
}

/* A name under construction: never longer than a name buffer holds. */
struct Out {
    std::string text;
    void add(const std::string &s) {
        text.append(s, 0, kNameChars - std::min(kNameChars, text.size()));
    }
    void add(char c) {
        if (text.size() < kNameChars)
            text += c;
    }
};

std::string two(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%2.2d", value);
    return text;
}

const char *key_of(char c) {
    return naming.keys[static_cast<unsigned char>(c)];
}

/* ------------------------------------------------------------------------
 * Conversions of a template
 * ---------------------------------------------------------------------- */

/* One '%' conversion: its number (1 and not given when absent), its
   letter, and for %{name} the name.  `end` is past the conversion. */
struct Conv {
    int n = 1;
    bool given = false;
    char letter = '\0';
    std::string name;
    const char *end = nullptr;
};

/* Reads the conversion at `p` (just past '%'); false for a trailing '%'
   or '%N' and for an unclosed "%{", which are then copied literally. */
bool read_conv(const char *p, Conv &conv) {
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

bool is_date_letter(char c) {
    return c != '\0' && std::strchr("Yymbdjhn", c) != nullptr;
}

const char *path_resource(char letter) {
    switch (letter) {
    case 'C':
        return "con_path";
    case 'D':
        return "data_path";
    case 'F':
        return "file_path";
    case 'R':
        return "raw_path";
    case 'G':
        return "grid_path";
    case 'I':
        return "image_path";
    case 'W':
        return "watch_path";
    case 'T':
        return "text_path";
    case 'M':
        return "model_path";
    case 'S':
        return "sat_path";
    default:
        return nullptr;
    }
}

bool is_path_letter(char c) {
    return path_resource(c) != nullptr || c == '{';
}

/* The text a path conversion inserts for a name built from a date. */
std::string path_text(const Conv &conv, const std::string &extracted) {
    if (!extracted.empty())
        return extracted;
    const char *value =
        RES_get(conv.letter == '{' ? conv.name.c_str() : path_resource(conv.letter));
    if (value != nullptr)
        return cut(value, kNameChars);
    return conv.letter == '{' ? "" : ".";
}

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

int round_down(int value, int n) {
    return n > 1 ? value / n * n : value;
}

/* The file period that a conversion of a date field gives. */
void lower_period(char letter, int n, int code, bool warn) {
    long long unit = letter == 'h' ? 3600 : letter == 'n' ? 60 : 86400;
    bool day = letter == 'd' || letter == 'j';
    long long period = std::max(n, 1) * unit;
    StepCode step;
    if (stepped(code, day, warn, step)) {
        naming.late_off = static_cast<int>(step.step * unit);
        return;
    }
    period = std::min<long long>(period, INT_MAX);
    if (naming.late_off == KEM_MISSING || period < naming.late_off)
        naming.late_off = static_cast<int>(period);
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
        char text[16];
        std::snprintf(text, sizeof text, c.letter == 'Y' ? "%4.4d" : "%2.2d",
                      year == KEM_MISSING ? 0
                      : c.letter == 'Y'   ? year
                                          : year % 100);
        out.add(text);
        break;
    }
    case 'm':
    case 'b': {
        int month = field_value(date.month, set.month, true, false, 1);
        if (month != KEM_MISSING && c.letter == 'm')
            month = round_down(month, n);
        used.month = month;
        if (c.letter == 'm')
            out.add(two(month == KEM_MISSING ? 0 : month));
        else
            out.add(month == KEM_MISSING ? std::string("xxx") : cut(DATE_month_lower(month), 3));
        break;
    }
    case 'd':
    case 'j': {
        int day = field_value(date.day, set.day, false, true, n);
        used.day = day;
        lower_period(c.letter, n, set.day, false);
        if (c.letter == 'd') {
            out.add(two(day == KEM_MISSING ? 0 : day));
        } else {
            int julian = 0;
            if (day != KEM_MISSING && used.year != KEM_MISSING && used.month != KEM_MISSING)
                DATE_monday_julian(used.year, used.month, day, &julian);
            char text[16];
            std::snprintf(text, sizeof text, "%3.3d", std::clamp(julian, 0, 999));
            out.add(text);
        }
        break;
    }
    case 'h':
    case 'n': {
        bool hour = c.letter == 'h';
        int value =
            field_value(hour ? date.hour : date.min, hour ? set.hour : set.min, false, false, n);
        (hour ? used.hour : used.min) = value;
        lower_period(c.letter, n, hour ? set.hour : set.min, false);
        out.add(two(value == KEM_MISSING ? 0 : value));
        break;
    }
    }
}

/* The text a key conversion inserts. */
std::string key_text(const Conv &c) {
    std::string text = key_of(c.letter);
    if (text.empty())
        return "0";
    if (c.given && c.n > 0 && static_cast<size_t>(c.n) < text.size())
        text.resize(static_cast<size_t>(c.n));
    return text;
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

/* Step 5 of building a name: the template copied with its conversions. */
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

/* ------------------------------------------------------------------------
 * The name convention file
 * ---------------------------------------------------------------------- */

struct ConvLine {
    std::string type, conv, hconv;
    int min_size = 0;
};

ConvLine read_conv_line(const char *line) {
    ConvLine entry;
    entry.type = next_word(line, kTypeChars);
    entry.conv = next_word(line, kNameChars);
    entry.hconv = next_word(line, kNameChars);
    if (entry.hconv == "-")
        entry.hconv.clear();
    entry.min_size = std::atoi(next_word(line, 20).c_str());
    return entry;
}

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

int search_conventions(FILE *file, const std::string &type) {
    char line[KEM_LINE_MAX + 1];
    while (fgetnline(file, line, KEM_LINE_MAX) >= 0) {
        if (line[0] == '#')
            continue;
        naming.conv.clear();
        naming.hconv.clear();
        naming.min_size = 0;
        ConvLine entry = read_conv_line(line);
        if (entry.type.empty())
            continue;
        naming.conv = entry.conv;
        naming.hconv = entry.hconv;
        naming.min_size = entry.min_size;
        if (stricmp(entry.type.c_str(), type.c_str()) == 0) {
            MESS_print(M_debug, "File name match for: %s\n", type.c_str());
            return 1;
        }
        if (strnicmp(entry.type.c_str(), type.c_str(), static_cast<int>(entry.type.size())) == 0) {
            naming.ext = extension_of(type);
            MESS_print(M_debug, "File name partial match for: %s-%s ext: %s\n", entry.type.c_str(),
                       type.c_str(), naming.ext.c_str());
            return 1;
        }
    }
    naming.conv = type;
    naming.hconv.clear();
    naming.min_size = 0;
    MESS_print(M_debug, "No file name conversion for: %s\n", type.c_str());
    return 0;
}

/* ------------------------------------------------------------------------
 * Typed names matched against the template
 * ---------------------------------------------------------------------- */

enum MatchState { kNothing = 0, kPath = 1, kDate = 2, kUsedUp = 3 };

struct Matcher {
    const char *t; /* template cursor */
    const char *n; /* name cursor */
    Out out;
    int state = kNothing;
    bool done = false;

    void rest_of_name() {
        out.add(n);
        n += std::strlen(n);
        done = true;
    }
};

int date_width(char letter) {
    switch (letter) {
    case 'Y':
        return 4;
    case 'b':
    case 'j':
        return 3;
    default:
        return 2;
    }
}

/* The literal text of the template from `t` up to its next conversion. */
std::string literal_run(const char *t) {
    return std::string(t, std::strcspn(t, "%{*"));
}

/* Reads a date field of the name into the file date; false when its
   characters are missing or not a number. */
bool match_date(Matcher &m, const Conv &c) {
    size_t width = static_cast<size_t>(date_width(c.letter));
    if (strnlen(m.n, width) < width)
        return false;
    std::string text(m.n, width);
    Date &f = naming.file_date;
    int value = 0;
    if (c.letter == 'b') {
        value = DATE_decode_month(text.c_str());
        if (value == 0)
            return false;
        f.month = value;
    } else {
        if (!is_digit(text[0]))
            return false;
        value = std::atoi(text.c_str());
        switch (c.letter) {
        case 'Y':
            f.year = value;
            break;
        case 'y':
            f.year = value + (value > 49 ? 1900 : 2000);
            break;
        case 'm':
            f.month = value;
            break;
        case 'd':
            f.day = value;
            break;
        case 'j':
            DATE_julian_monday(f.year, value, &f.month, &f.day);
            break;
        case 'h':
            f.hour = value;
            break;
        case 'n':
            f.min = value;
            break;
        }
    }
    if (c.letter == 'd' || c.letter == 'j')
        lower_period(c.letter, c.n, naming.set.day, true);
    else if (c.letter == 'h')
        lower_period('h', c.n, naming.set.hour, true);
    else if (c.letter == 'n')
        lower_period('n', c.n, naming.set.min, true);
    m.out.add(text);
    m.n += width;
    m.state = kDate;
    return true;
}

void match_ext(Matcher &m, const Conv &c) {
    std::string run = literal_run(c.end);
    if (!naming.ext.empty()) {
        m.out.add(naming.ext);
        const char *at = run.empty() ? m.n + std::min(std::strlen(m.n), naming.ext.size())
                                     : std::strstr(m.n, run.c_str());
        if (at == nullptr)
            return m.rest_of_name();
        m.n = at;
        return;
    }
    const char *at = run.empty() ? m.n + std::strlen(m.n) : std::strstr(m.n, run.c_str());
    if (at == nullptr)
        return m.rest_of_name();
    naming.ext = std::string(m.n, std::min(static_cast<size_t>(at - m.n), kExtChars));
    m.out.add(std::string(m.n, static_cast<size_t>(at - m.n)));
    m.n = at;
}

void match_path(Matcher &m, const Conv &c, const char *conv_start) {
    m.state = kPath;
    if (FILE_fullpath(m.n)) {
        long levels = std::count_if(conv_start, conv_start + std::strlen(conv_start),
                                    [](char ch) { return ch == '/' || ch == '\\' || ch == ':'; });
        const char *at = m.n + std::strlen(m.n);
        while (levels > 0 && at > m.n) {
            --at;
            if (*at == '/' || *at == '\\' || *at == ':')
                --levels;
        }
        if (levels > 0)
            return; /* fewer levels than the template has: no directory part */
        m.out.add(std::string(m.n, static_cast<size_t>(at - m.n)));
        m.n = at;
        return;
    }
    m.out.add(path_text(c, ""));
    if (*m.t == '/') {
        m.out.add('/');
        ++m.t;
    }
}

void match_key(Matcher &m, const Conv &c) {
    if (key_of(c.letter)[0] == '\0')
        return m.rest_of_name();
    std::string text = key_text(c);
    m.out.add(text);
    m.n += std::min(text.size(), std::strlen(m.n));
}

void match_literal(Matcher &m, char c) {
    if (m.state > kNothing && *m.n != '\0' && *m.n == c) {
        m.out.add(c);
        ++m.t;
        ++m.n;
        if (*m.n == '\0')
            m.state = kUsedUp;
        return;
    }
    if ((m.state > kPath && *m.n != '\0') || (m.state == kNothing && *m.n != c))
        return m.rest_of_name();
    m.out.add(c);
    ++m.t;
    if (*m.n != '\0' && (m.state > kPath || std::strchr(m.n, '/') == nullptr))
        ++m.n;
}

void match_conv(Matcher &m) {
    const char *start = m.t;
    Conv c;
    if (!read_conv(m.t + 1, c)) {
        match_literal(m, '%');
        return;
    }
    if (c.letter == '%') {
        m.t = c.end - 1; /* on the second '%': matching it steps past the pair */
        return match_literal(m, '%');
    }
    m.t = c.end;
    if (is_date_letter(c.letter)) {
        if (!match_date(m, c))
            m.rest_of_name();
    } else if (c.letter == 'e') {
        match_ext(m, c);
    } else if (is_path_letter(c.letter)) {
        match_path(m, c, start);
    } else {
        match_key(m, c);
    }
}

/* Copies a braced part of the template without touching the name. */
void match_braces(Matcher &m) {
    ++m.t;
    while (*m.t && *m.t != '}' && !m.done) {
        if (*m.t == '%')
            match_conv(m);
        else
            m.out.add(*m.t++);
    }
    if (*m.t == '}') {
        ++m.t;
        m.state = kPath;
    }
}

std::string match_name(const std::string &tmpl, const char *name) {
    Matcher m{tmpl.c_str(), name, Out{}};
    naming.late_off = KEM_MISSING;
    while (*m.t && !m.done) {
        if (*m.t == '*')
            m.rest_of_name();
        else if (*m.t == '{')
            match_braces(m);
        else if (*m.t == '%')
            match_conv(m);
        else
            match_literal(m, *m.t);
    }
    MESS_print(M_debug, "FILES:%s:%s:%d\n", name, m.out.text.c_str(), m.state);
    DATE_print(M_debug, &naming.file_date);
    return m.out.text;
}

/* Reads the digits of "#YYYYMMDDhhmm" after a typed name's '#' into `set`,
   each field only while digits follow. */
void read_date_suffix(const char *p, Date &date, bool only_while_digits) {
    int *fields[] = {&date.year, &date.month, &date.day, &date.hour, &date.min};
    const int widths[] = {4, 2, 2, 2, 2};
    for (int i = 0; i < 5 && (!only_while_digits || is_digit(*p)); ++i) {
        size_t w = static_cast<size_t>(widths[i]);
        if (strnlen(p, w) < w || !is_digit(p[0]))
            break;
        *fields[i] = std::atoi(std::string(p, w).c_str());
        p += w;
    }
}

/* ------------------------------------------------------------------------
 * Current and latest files
 * ---------------------------------------------------------------------- */

/* Reads "YYYY[MM[DD[hh[mm]]]]" into seconds; missing month and day are 1,
   missing hour and minute 0.  `p` moves past what was read. */
time_t read_reference(const char *&p) {
    Date date{0, 1, 1, 0, 0, 0, 0, 0};
    int *fields[] = {&date.year, &date.month, &date.day, &date.hour, &date.min};
    const size_t widths[] = {4, 2, 2, 2, 2};
    for (int i = 0; i < 5; ++i) {
        size_t n = 0;
        while (n < widths[i] && is_digit(p[n]))
            ++n;
        if (n < widths[i])
            break;
        *fields[i] = std::atoi(std::string(p, n).c_str());
        p += n;
    }
    return DATE_num_sec(&date);
}

time_t reference_time(const char *&cur) {
    if (cur[0] == '#') {
        ++cur;
        return read_reference(cur);
    }
    const char *env = getenv("kemcurtime");
    if (env != nullptr && env[0] != '\0') {
        if (env[0] == '#')
            ++env;
        return read_reference(env);
    }
    time_t now = 0;
    return DATE_get_time(&now);
}

/* Moves the reference back to the last time that fits the fixed fields
   of `set`. */
time_t fit_fixed_fields(time_t ref) {
    const Date &set = naming.set;
    Date d;
    DATE_get_gmdate(&ref, &d);
    d.sec = 0;
    if (set.month >= 0) {
        if (d.month < set.month)
            d.year -= 1;
        d.month = set.month;
    }
    if (set.day >= 0) {
        if (d.day < set.day && --d.month < 1) {
            d.month = 12;
            d.year -= 1;
        }
        d.day = set.day;
    }
    time_t secs = DATE_num_sec(&d);
    if (set.hour >= 0) {
        if (d.hour < set.hour)
            secs -= 86400;
        secs += static_cast<time_t>(set.hour - d.hour) * 3600; /* any int an hour text gave */
        d.hour = set.hour;
    }
    if (set.min >= 0) {
        if (d.min < set.min)
            secs -= 3600;
        secs += static_cast<time_t>(set.min - d.min) * 60;
    }
    return secs;
}

/* Reads a sign: '+' gives 1, '-' gives -1, anything else -1 without
   consuming it. */
int read_sign(const char *&p) {
    if (*p == '+' || *p == '-')
        return *p++ == '+' ? 1 : -1;
    return -1;
}

/* Reads a sign and, when a digit follows, an offset of "[days d]hours
   [:minutes]" applied to `ref`; an offset uses its sign up and a new one
   is read.  `sign` is the sign left for what follows. */
void read_offset(const char *&p, int &sign, time_t &ref) {
    sign = read_sign(p);
    if (!is_digit(*p))
        return;
    long days = 0, hours = 0, minutes = 0;
    char *end = nullptr;
    long first = std::strtol(p, &end, 10);
    if (*end == 'd') {
        days = first;
        p = end + 1;
        hours = std::strtol(p, &end, 10);
    } else {
        hours = first;
    }
    p = end;
    if (*p == ':' && is_digit(p[1])) {
        minutes = std::strtol(p + 1, &end, 10);
        p = end;
    }
    days = std::clamp(days, -100000L, 100000L);
    hours = std::clamp(hours, -1000000L, 1000000L);
    minutes = std::clamp(minutes, -10000000L, 10000000L);
    ref += sign * (days * 86400 + hours * 3600 + minutes * 60);
    sign = read_sign(p);
}

/* The size a file must exceed to count as present. */
bool present(const char *name) {
    long size = FILE_size(name);
    if (naming.rmin_size > 0)
        return size > naming.rmin_size;
    return size > naming.min_size;
}

void name_of(time_t secs, char *out) {
    Date d;
    DATE_get_gmdate(&secs, &d);
    build_name(&d, out, false);
}

/* Steps from `ref` by sign x period until a file is present or the limit
   of tries is reached; leaves the reference of the last try. */
time_t search_latest(const char *&p, int sign, time_t ref) {
    int limit = kLatestTries;
    if (*p == '#') {
        limit = std::clamp(std::atoi(p + 1), 1, kMaxTries);
        ++p;
        while (is_digit(*p))
            ++p;
    }
    char name[kNameChars + 1];
    for (int i = 0; i < limit; ++i) {
        name_of(ref, name);
        MESS_print(M_debug, "LATE: %s\n", name);
        if (present(name)) {
            MESS_print(M_debug, "LATEST: %s %s %d\n", name, "found", i + 1);
            return ref;
        }
        if (naming.late_off <= 0)
            break; /* no period: every time names this one file */
        if (i + 1 < limit)
            ref += sign * static_cast<time_t>(naming.late_off);
    }
    MESS_print(M_debug, "LATEST: %s %s %d\n", name, "not found", limit);
    return ref;
}

/* ------------------------------------------------------------------------
 * Listing
 * ---------------------------------------------------------------------- */

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
        switch (c.letter) {
        case 'Y':
            pattern += "?[0-9]??";
            break;
        case 'y':
        case 'm':
        case 'd':
        case 'h':
        case 'n':
            pattern += "[0-9]?";
            break;
        case 'b':
            pattern += "?[a-z]?";
            break;
        case 'j':
            pattern += "?[0-9]?";
            break;
        case '%':
            pattern += '%';
            break;
        case 'e':
            pattern += naming.ext.empty() ? "*" : literal_pattern(naming.ext);
            break;
        default:
            if (is_path_letter(c.letter))
                pattern += literal_pattern(path_text(c, ""));
            else if (key_of(c.letter)[0] != '\0')
                pattern += literal_pattern(key_text(c));
            else if (c.given && c.n > 0)
                pattern += std::string(static_cast<size_t>(std::min(c.n, 159)), '?');
            else
                pattern += '*';
        }
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

/* ------------------------------------------------------------------------
 * The hour resource
 * ---------------------------------------------------------------------- */

/* Reads "YYYY[MM[DD[hh[mm]]]]" after the '#'. */
void read_absolute(const char *p, Date &date) {
    if (std::sscanf(p, "%4d", &date.year) != 1)
        return;
    p += strnlen(p, 4);
    int *fields[] = {&date.month, &date.day, &date.hour, &date.min};
    for (int *field : fields) {
        if (!is_digit(*p) || std::sscanf(p, "%2d", field) != 1)
            break;
        p += strnlen(p, 2);
    }
}

/* "[-]hours[:minutes]"; a leading '-' with hour 0 leaves the hour unset
   and negates the minute, only when a minute was read. */
void read_hour_minute(const char *text, Date &date) {
    int hour = 0, minute = 0;
    int n = std::sscanf(text, "%9d:%9d", &hour, &minute);
    if (std::strncmp(text, "-:", 2) == 0) /* a minute only: "-:30" */
        n = std::sscanf(text, "-:%9d", &minute) == 1 ? 2 : 0;
    if (text[0] == '-' && hour == 0) {
        if (n == 2)
            date.min = -minute;
        return;
    }
    if (n >= 1)
        date.hour = hour;
    if (n == 2)
        date.min = minute;
}

void read_hour_text(const char *text, Date &date) {
    size_t len = std::strlen(text);
    bool colon = std::strchr(text, ':') != nullptr;
    if (text[0] == '#' && is_digit(text[1]))
        read_absolute(text + 1, date);
    else if (len == 6 && !colon)
        std::sscanf(text, "%2d%2d%2d", &date.month, &date.day, &date.hour);
    else if (len == 4 && is_digit(text[0]) && !colon)
        std::sscanf(text, "%2d%2d", &date.day, &date.hour);
    else if (len == 3 && is_digit(text[0]) && !colon)
        std::sscanf(text, "%1d%2d", &date.day, &date.hour);
    else if (std::strchr(text, 'd') != nullptr)
        std::sscanf(text, "%9dd%9d:%9d", &date.day, &date.hour, &date.min);
    else if (text[0] == ':')
        std::sscanf(text, ":%9d", &date.min);
    else
        read_hour_minute(text, date);
}

} // namespace

extern "C" {

/* ------------------------------------------------------------------------
 * Selecting a type
 * ---------------------------------------------------------------------- */

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
    naming.saved =
        Saved{naming.late_off, naming.conv, naming.hconv, naming.filename, naming.filename_type};
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

int FILE_conv_hour(const char *value) {
    Date date = unset_date(0);
    if (value != nullptr)
        read_hour_text(value, date);
    return FILE_set_time(&date) == 0 ? 1 : 0;
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

/* ------------------------------------------------------------------------
 * Building names
 * ---------------------------------------------------------------------- */

int FILE_set_date(const Date *datim, char *out_file) {
    return build_name(datim, out_file, false);
}

int FILE_hdr_set_date(const Date *datim, char *out_file) {
    Date date = datim ? *datim : naming.file_date;
    if (date.year == KEM_MISSING || naming.hconv.empty()) {
        put_name(out_file, "");
        return 0;
    }
    naming.header = 1;
    int expanded = build_name(&date, out_file, true);
    naming.header = 0;
    return expanded == 0 ? 1 : 0;
}

int FILE_set_date_off(const Date *datim, int offset, char *out_file) {
    Date date = datim ? *datim : naming.file_date;
    time_t secs = DATE_num_sec(&date) + offset;
    name_of(secs, out_file);
    return offset / (naming.late_off > 0 ? naming.late_off : 100000);
}

/* ------------------------------------------------------------------------
 * Typed names
 * ---------------------------------------------------------------------- */

int FILE_extract_extra_info(char *file) {
    if (file == nullptr || strnlen(file, 3) < 3)
        return 0;
    char *at = std::strpbrk(file + 2, "#-+:");
    if (at == nullptr)
        return 0;
    naming.ext_info = cut(at, kInfoChars);
    *at = '\0';
    return 1;
}

int FILE_set_file(const char *file, char *out_file) {
    Date &f = naming.file_date;
    f.year = f.month = f.day = f.hour = f.min = KEM_MISSING;
    char name[kNameChars + 1];
    put_name(name, cut(file, kNameChars));
    if (naming.file_type == 0) {
        char *hash = name[0] ? std::strchr(name + 1, '#') : nullptr;
        if (hash != nullptr) {
            *hash = '\0';
            read_date_suffix(hash + 1, naming.set, true);
        }
    } else if (name[0] != '\0') {
        FILE_extract_extra_info(name + 1);
    }
    naming.file_date = naming.set;
    if (stricmp(name, "exit") == 0)
        KEM_exit(0);
    std::string result;
    const std::string &tmpl = naming.header ? naming.hconv : naming.conv;
    if (name[0] == '@') {
        result = name + 1;
    } else if (FILE_is_stdio(name) || (!tmpl.empty() && FILE_is_stdio(tmpl.c_str()))) {
        set_filename("-", 0);
        put_name(out_file, "-");
        return 0;
    } else if (tmpl.empty() || stricmp(name, "none") == 0 ||
               (FILE_fullpath(name) && FILE_fullpath(tmpl.c_str()))) {
        result = name;
    } else if (name[0] == '#' || strnicmp(name, "la", 2) == 0 || strnicmp(name, "cu", 2) == 0) {
        char current[kNameChars + 1];
        FILE_set_current(strnicmp(name, "cu", 2) == 0 ? name + 2 : name, current);
        MESS_print(M_mess, "Current filename: %s\n", current);
        put_name(out_file, current);
        return 0;
    } else {
        result = match_name(tmpl, name);
    }
    set_filename(result, 1);
    put_name(out_file, result);
    return 0;
}

/* ------------------------------------------------------------------------
 * Current and latest files
 * ---------------------------------------------------------------------- */

time_t FILE_set_current(const char *cur, char *filename) {
    const char *p = cur ? cur : "la";
    naming.filename_type = 0;
    time_t ref = fit_fixed_fields(reference_time(p));
    int sign = -1;
    read_offset(p, sign, ref);
    if (*p == 'l' || *p == 'L') {
        p += strnicmp(p, "la", 2) == 0 ? 2 : 1;
        ref = search_latest(p, sign, ref);
        read_offset(p, sign, ref);
    }
    char name[kNameChars + 1];
    name_of(ref, name);
    put_name(filename, name);
    naming.filename_type = 0;
    return naming.late_off > 0 ? ref / naming.late_off * naming.late_off : ref;
}

/* ------------------------------------------------------------------------
 * Listing
 * ---------------------------------------------------------------------- */

int FILE_list_file(void) {
    std::string pattern = list_pattern();
    MESS_print(M_debug, "SEARCH: %s\n", pattern.c_str());
    glob_t found{};
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        std::vector<std::string> names(found.gl_pathv, found.gl_pathv + found.gl_pathc);
        print_columns(names);
    }
    globfree(&found);
    return 0;
}

} // extern "C"
