/*
 * text.cpp - the text helpers that the library's files share (text.h):
 * words, numbers at the start of a text, station numbers and bounded line
 * reading.  Owns no state; nothing is printed.
 */
#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string next_word(const char *&p, size_t limit) {
    const char *start = skip_blanks(p);
    p = skip_word(start);
    return std::string(start, std::min(static_cast<size_t>(p - start), limit));
}

size_t split_words(const char *line, size_t max_words, size_t width,
                   std::vector<std::string> &words) {
    size_t n = 0;
    for (const char *p = skip_blanks(line); n < max_words && *p != '\0'; p = skip_blanks(p)) {
        const char *start = p;
        p = skip_word(p);
        if (n == words.size())
            words.emplace_back();
        words[n++].assign(start, std::min(static_cast<size_t>(p - start), width));
    }
    words.resize(n);
    return n;
}

char *wide_station_number(char *out, int wmo) {
    char digits[16];
    int len = std::snprintf(digits, sizeof digits, "%05d", wmo);
    std::memcpy(out, digits, static_cast<size_t>(len));
    return out + len;
}

namespace {

template <class T>
bool read_with(T (*convert)(const char *, char **), const char *text, T &out, const char **end) {
    char *stop = nullptr;
    T v = convert(text, &stop);
    if (stop == text)
        return false;
    out = v;
    if (end != nullptr)
        *end = stop;
    return true;
}

} // namespace

bool read_real(const char *text, float &out, const char **end) {
    return read_with(std::strtof, text, out, end);
}

bool read_real(const char *text, double &out, const char **end) {
    return read_with(std::strtod, text, out, end);
}

int read_line(FILE *stream, char *line, size_t max) {
    size_t n = 0;
    int c = 0;
    while ((c = getc(stream)) != EOF && c != '\n')
        if (n < max)
            line[n++] = static_cast<char>(c);
    line[n] = '\0';
    return c == EOF && n == 0 ? -1 : static_cast<int>(n);
}

int read_line(FILE *stream, std::string &line, size_t max, bool &cut) {
    line.clear();
    cut = false;
    int c = 0;
    bool any = false;
    while ((c = getc(stream)) != EOF && c != '\n') {
        any = true;
        if (line.size() < max)
            line.push_back(static_cast<char>(c));
        else
            cut = true;
    }
    return c == EOF && !any ? -1 : static_cast<int>(line.size());
}
