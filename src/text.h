/*
 * text.h - small text helpers that several of the library's files share:
 * character classes, words, numbers at the start of a text and bounded
 * line reading.  Not part of the library's interface.
 *
 * Character classes are those of the C locale, whatever the locale, so
 * that a file reads the same everywhere.  Nothing here prints or throws
 * except std::string's allocation.
 */
#ifndef KEM_TEXT_H
#define KEM_TEXT_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

/* White space: blank, tab, newline, vertical tab, form feed, return. */
inline bool is_blank(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

inline const char *skip_blanks(const char *p) {
    while (is_blank(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

inline const char *skip_word(const char *p) {
    while (*p != '\0' && !is_blank(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

/* The next blank-separated word from `p` on, at most `limit` characters
   of it kept; `p` moves past the whole word. */
std::string next_word(const char *&p, size_t limit);

/* Splits `line` at white space into at most `max_words` words, each cut to
   `width` characters; the strings of `words` keep their room from one call
   to the next.  Answers the number of words. */
size_t split_words(const char *line, size_t max_words, size_t width,
                   std::vector<std::string> &words);

/* "00" to "99": digits written two at a time. */
inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

/* A station number as "%05d" (at least five characters, a '-' among them)
   at `out`, which has room for 12; not terminated: answers its end.  The
   usual five digits are written here, the rest by printf. */
char *wide_station_number(char *out, int wmo);
inline char *station_number(char *out, int wmo) {
    if (wmo < 0 || wmo >= 100000)
        return wide_station_number(out, wmo);
    auto v = static_cast<unsigned>(wmo);
    out[0] = static_cast<char>('0' + v / 10000);
    __builtin_memcpy(out + 1, digit_pairs + 2 * (v / 100 % 100), 2);
    __builtin_memcpy(out + 3, digit_pairs + 2 * (v % 100), 2);
    return out + 5;
}

/* A real number at the start of `text` (leading blanks allowed), as
   strtof or strtod reads it, and where it ends; false when there is none. */
bool read_real(const char *text, float &out, const char **end = nullptr);
bool read_real(const char *text, double &out, const char **end = nullptr);

/* One whole line of `stream`, its first `max` characters kept and the rest
   stepped over, so that a long line is never taken for several: its
   length kept, or -1 at the end of the file with nothing read.  `line`
   holds max + 1 bytes.  The string form also tells whether characters
   were dropped. */
int read_line(FILE *stream, char *line, size_t max);
int read_line(FILE *stream, std::string &line, size_t max, bool &cut);

#endif /* KEM_TEXT_H */
