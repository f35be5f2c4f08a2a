/*
 * file_match.cpp - typed data file names read back into dates (FILE_).
 *
 * FILE_set_file matches a typed name against the template: its date
 * fields set the file date and period, its directory, extension and key
 * texts are kept, and from where it stops fitting it is copied as typed.
 *
 * State: none of its own; it reads and sets the naming record of
 * file_name.h.  Matching never fails: texts are cut to their fields.  The
 * typed name "exit" ends the program.
 */
#include "file_name.h"
#include "text.h"

#include <cstdlib>
#include <cstring>

using namespace file_naming;

namespace {

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
    return letter == 'Y' ? 4 : letter == 'b' || letter == 'j' ? 3 : 2;
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
    bool month_name = c.letter == 'b';
    int value = month_name ? DATE_decode_month(text.c_str()) : std::atoi(text.c_str());
    if (month_name ? value == 0 : !is_digit(text[0]))
        return false;
    Date &f = naming.file_date;
    switch (c.letter) {
    case 'Y':
    case 'y':
        f.year = c.letter == 'y' ? value + (value > 49 ? 1900 : 2000) : value;
        break;
    case 'm':
    case 'b':
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
    if (std::strchr("djhn", c.letter) != nullptr)
        lower_period(c.letter, c.n, true);
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
    if (!read_conv(m.t + 1, c))
        return match_literal(m, '%');
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

} // namespace

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
    char name[kNameChars + 1];
    put_name(name, cut(file, kNameChars));
    if (naming.file_type == 0) {
        char *hash = name[0] ? std::strchr(name + 1, '#') : nullptr;
        if (hash != nullptr) {
            *hash = '\0';
            read_fixed_date(hash + 1, naming.set, false);
        }
    } else if (name[0] != '\0') {
        FILE_extract_extra_info(name + 1);
    }
    naming.file_date = naming.set;
    if (stricmp(name, "exit") == 0)
        KEM_exit(0);
    std::string result;
    const std::string &tmpl = naming.conv;
    if (name[0] == '@') {
        result = name + 1;
    } else if (FILE_is_stdio(name) || (!tmpl.empty() && FILE_is_stdio(tmpl.c_str()))) {
        set_filename("-", 0);
        put_name(out_file, "-");
        return 0;
    } else if (tmpl.empty() || stricmp(name, "none") == 0 ||
               (FILE_fullpath(name) && FILE_fullpath(tmpl.c_str()))) {
        result = name;
    } else if (name_current(name, out_file)) {
        return 0;
    } else {
        result = match_name(tmpl, name);
    }
    set_filename(result, 1);
    put_name(out_file, result);
    return 0;
}
