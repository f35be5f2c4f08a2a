/*
 * string.cpp - line readers and string utilities.
 *
 * Small routines used by every module: reading text lines from open
 * streams in bounded pieces, case-insensitive comparison, in-place edits
 * of NUL-terminated byte strings, classification, and splitting a text
 * into a parsed array (one allocated copy plus one allocated pointer
 * array, both released by free_parsed_array).  The module owns no state.
 * Nothing is printed: readers answer -1 at end of file, allocating
 * routines answer null or -1 when memory runs out, and null arguments get
 * the neutral answer of each routine.
 */
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/* ------------------------------------------------------------------------
 * Line reading
 * ---------------------------------------------------------------------- */

/*
 * One bounded read of up to `len` bytes that are not a newline.  A
 * newline that stops the read is pushed back, so the stream stays on it.
 * Answers the count stored (terminated), 0 when the stream stands on a
 * newline, -1 at end of file (or read error) before anything was stored.
 */
int scan_piece(FILE *ifile, char *string, int len) {
    int n = 0;
    int c = 0;
    while (n < len && (c = getc_unlocked(ifile)) != EOF) {
        if (c == '\n') {
            ungetc(c, ifile);
            break;
        }
        string[n++] = static_cast<char>(c);
    }
    if (n > 0) {
        string[n] = '\0';
        return n;
    }
    return c == EOF ? -1 : 0;
}

/*
 * The shared reader: a first read; when the stream stood on the newline
 * left by the previous call, step over it and read again.  A second empty
 * read is an empty line.  Answers the count stored, 0 or -1.
 */
int read_piece(FILE *ifile, char *string, int len) {
    if (ifile == nullptr || string == nullptr || len < 0)
        return -1;
    string[0] = '\0';
    if (len == 0)
        return -1; /* nothing could ever be stored; end rather than spin */
    int n = scan_piece(ifile, string, len);
    if (n == 0) {
        getc(ifile); /* the newline */
        n = scan_piece(ifile, string, len);
    }
    if (n <= 0)
        string[0] = '\0';
    return n;
}

int fold(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

/* Removes every byte for which `drop` is true, keeping the order. */
template <typename Pred> void remove_bytes(char *string, Pred drop) {
    char *out = string;
    for (const char *in = string; *in != '\0'; ++in) {
        if (!drop(*in))
            *out++ = *in;
    }
    *out = '\0';
}

void trim_trailing(char *string, char tar) {
    size_t n = std::strlen(string);
    while (n > 0 && string[n - 1] == tar)
        string[--n] = '\0';
}

/* Moves the ASCII letters from `from`'s case to `to`'s; 0 for nothing to do. */
int fold_letters(char *string, char from, char to) {
    if (string == nullptr || *string == '\0')
        return 0;
    for (; *string != '\0'; ++string) {
        if (*string >= from && *string <= from + 25)
            *string = static_cast<char>(*string - from + to);
    }
    return 1;
}

/* ------------------------------------------------------------------------
 * Parsed arrays
 * ---------------------------------------------------------------------- */

/* A malloc'd copy of the first `n` bytes of `text`, terminated. */
char *copy_bytes(const char *text, size_t n) {
    char *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
        copy[n] = '\0';
    }
    return copy;
}

/*
 * Splits `text` into blank-separated items with double-quote grouping,
 * writing them packed into `out` (each followed by a NUL) and answering
 * the item count.  `out` needs no more room than strlen(text)+1.
 */
int split_command(const char *text, char *out) {
    int count = 0;
    const char *p = text;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (*p == '\0')
            break;
        if (*p == '"') {
            ++p;
            while (*p != '\0' && *p != '"')
                *out++ = *p++;
            if (*p == '"')
                ++p;
        } else {
            while (*p != '\0' && *p != ' ')
                *out++ = *p++;
        }
        *out++ = '\0';
        ++count;
    }
    return count;
}

/* Builds the parsed array of parse_command from an allocated text. */
int command_array(char *text, int *argc, char ***argv) {
    size_t len = std::strlen(text);
    char *items = static_cast<char *>(std::malloc(len + 1));
    if (items == nullptr) {
        std::free(text);
        return -1;
    }
    int count = split_command(text, items);
    std::free(text);
    if (count == 0) {
        std::free(items);
        return 0; /* nothing to hand over: argc 0, argv null */
    }
    char **array = static_cast<char **>(std::malloc(sizeof(char *) * (count + 1)));
    if (array == nullptr) {
        std::free(items);
        return -1;
    }
    char *p = items;
    for (int i = 0; i < count; ++i) {
        array[i] = p;
        p += std::strlen(p) + 1;
    }
    array[count] = nullptr;
    *argc = count;
    *argv = array;
    return 0;
}

/* Formats `x` fixed-point with `width` and `decimals` into `str`. */
void print_fixed(char *str, int width, int decimals, float x) {
    char format[32];
    std::snprintf(format, sizeof format, "%%%d.%df", width, decimals);
    char text[128];
    int n = std::snprintf(text, sizeof text, format, static_cast<double>(x));
    if (n < 0)
        n = 0;
    size_t len = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1;
    std::memcpy(str, text, len);
    str[len] = '\0';
}

/* Reads "width.significant.decimals"; missing numbers count as 0. */
void read_num_format(const char *format, int *width, int *sig, int *dec) {
    *width = *sig = *dec = 0;
    if (format != nullptr)
        std::sscanf(format, "%d.%d.%d", width, sig, dec);
}

} // namespace

/* ------------------------------------------------------------------------
 * Line readers
 * ---------------------------------------------------------------------- */

int fgetline(FILE *ifile, char *string) {
    int n = read_piece(ifile, string, KEM_LINE_MAX);
    return n < 0 ? -1 : static_cast<int>(std::strlen(string));
}

int fgetnline(FILE *ifile, char *string, int len) {
    return read_piece(ifile, string, len);
}

int fgetstring(FILE *ifile, char *string, int len) {
    int n = read_piece(ifile, string, len);
    return n > 0 ? 1 : n;
}

int fget_rawstring(FILE *ifile, char *string, int len) {
    int result = fgetstring(ifile, string, len);
    if (result <= 0)
        return result;
    for (size_t i = std::strlen(string); i-- > 0;) {
        if (string[i] == '\r')
            string[i] = '\0';
        else if (static_cast<signed char>(string[i]) <= 32)
            string[i] = ' ';
    }
    return result;
}

int fskipline(FILE *ifile) {
    if (ifile == nullptr)
        return -1;
    int c = getc(ifile);
    if (c == EOF)
        return -1;
    if (c == '\n') {
        ungetc(c, ifile);
        return 0;
    }
    while ((c = getc(ifile)) != EOF && c != '\n') {
    }
    return c == EOF ? -1 : 0;
}

/* ------------------------------------------------------------------------
 * Comparison and search
 * ---------------------------------------------------------------------- */

int stricmp(const char *s1, const char *s2) {
    if (s1 == nullptr || s2 == nullptr)
        return 1;
    for (;; ++s1, ++s2) {
        int c1 = fold(*s1), c2 = fold(*s2);
        if (c1 != c2 || c1 == 0)
            return c1 - c2;
    }
}

int strnicmp(const char *s1, const char *s2, int n) {
    if (s1 == nullptr || s2 == nullptr)
        return 1;
    if (n < 1)
        n = 1;
    for (int i = 0; i < n; ++i) {
        int c1 = fold(s1[i]), c2 = fold(s2[i]);
        if (c1 != c2 || c1 == 0)
            return c1 - c2;
    }
    return 0;
}

int searchstr(char **s1, int n, const char *s2) {
    if (s1 == nullptr)
        return 0;
    for (int i = 0; i < n; ++i) {
        if (stricmp(s1[i], s2) == 0)
            return 1;
    }
    return 0;
}

char *strlstr(const char *s1, const char *s2) {
    if (s1 == nullptr || s2 == nullptr)
        return nullptr;
    if (*s2 == '\0')
        return const_cast<char *>(s1 + std::strlen(s1));
    const char *last = nullptr;
    for (const char *p = std::strstr(s1, s2); p != nullptr; p = std::strstr(p + 1, s2))
        last = p;
    return const_cast<char *>(last);
}

int chk_arg(const char *arg, char **items, int num_items) {
    if (arg == nullptr)
        return KEM_MISSING;
    for (int i = 0; items != nullptr && i < num_items; ++i) {
        if (stricmp(items[i], arg) == 0)
            return i;
    }
    /* The leading whole number, as atoi reads it, but without overflow. */
    char *end = nullptr;
    long value = std::strtol(arg, &end, 10);
    if (end == arg || value < 1 || value > num_items)
        return KEM_MISSING;
    return static_cast<int>(value);
}

/* ------------------------------------------------------------------------
 * Editing in place
 * ---------------------------------------------------------------------- */

int trim_string(char *string) {
    if (string != nullptr)
        trim_trailing(string, ' ');
    return 0;
}

int trim_cr_string(char *string) {
    if (string != nullptr)
        trim_trailing(string, '\r');
    return 0;
}

int wsstrip_string(char *string) {
    if (string != nullptr)
        remove_bytes(string, [](char c) { return c == '\n' || c == '\r'; });
    return 1;
}

int wstrim_string(char *string) {
    if (string != nullptr) {
        wsstrip_string(string);
        trim_trailing(string, ' ');
    }
    return 1;
}

int strip_string(char *string, char tar) {
    if (string != nullptr)
        remove_bytes(string, [tar](char c) { return c == tar; });
    return 0;
}

int strip_spaces(char *string) {
    if (string == nullptr)
        return 0;
    trim_trailing(string, ' ');
    char *out = string;
    for (const char *in = string; *in != '\0'; ++in) {
        if (*in != ' ' || out == string || out[-1] != ' ')
            *out++ = *in;
    }
    *out = '\0';
    return 0;
}

int strip_escape(char *string) {
    if (string == nullptr)
        return 0;
    char *out = string;
    for (const char *in = string; *in != '\0'; ++in) {
        if (*in == '\\') {
            if (*++in == '\0')
                break; /* a backslash at the end escapes nothing */
        }
        *out++ = *in;
    }
    *out = '\0';
    return 0;
}

int fill_string(char *string, char tar, char fill) {
    if (string == nullptr)
        return 0;
    size_t n = std::strlen(string);
    for (char *at = string; (at = static_cast<char *>(std::memchr(at, tar, n - (at - string))));)
        *at++ = fill;
    return 0;
}

int shift_string(char *string, int num) {
    if (string == nullptr)
        return 0;
    long long len = static_cast<long long>(std::strlen(string));
    long long drop = num < 0 ? -static_cast<long long>(num) : num;
    if (drop >= len) {
        string[0] = '\0'; /* dropping more than there is leaves nothing */
        return 0;
    }
    if (num < 0)
        std::memmove(string, string + drop, static_cast<size_t>(len - drop + 1));
    else
        string[len - drop] = '\0';
    return 0;
}

int up_string(char *string) {
    return fold_letters(string, 'a', 'A');
}

int low_string(char *string) {
    return fold_letters(string, 'A', 'a');
}

int clean_line(char *line) {
    if (line == nullptr || *line == '\0')
        return 0;
    size_t n = std::strlen(line);
    while (n > 0 && static_cast<unsigned char>(line[n - 1]) < 32)
        line[--n] = '\0';
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 32 || c >= 128)
            line[i] = ' ';
    }
    return 1;
}

int strntcpy(char *str1, const char *str2, int n) {
    if (str1 == nullptr)
        return 0;
    size_t len = 0;
    if (str2 != nullptr && n > 0)
        len = strnlen(str2, static_cast<size_t>(n)); /* never past the source's end */
    std::memmove(str1, str2 == nullptr ? "" : str2, len);
    str1[len] = '\0';
    return 1;
}

int strmcat(char *s1, const char *s2, int m) {
    if (s1 == nullptr || s2 == nullptr)
        return 0;
    size_t len = std::strlen(s1);
    if (m < 0 || len >= static_cast<size_t>(m))
        return 0;
    size_t add = strnlen(s2, static_cast<size_t>(m) - len);
    std::memmove(s1 + len, s2, add);
    s1[len + add] = '\0';
    return 1;
}

char *set_num(char *str, const char *format, float x) {
    if (str == nullptr)
        return nullptr;
    int width, sig, dec;
    read_num_format(format, &width, &sig, &dec);
    if (std::fabs(x) < 0.00001f)
        x = 0.0f;
    int mag = 2;
    if (x != 0.0f && std::isfinite(x))
        mag = static_cast<int>(std::floor(std::log10(std::fabs(x))));
    if (width <= 0)
        width = sig < INT_MAX ? sig + 1 : INT_MAX;
    if (width > 9)
        width = 9;
    /* Decimals are bounded: a float carries no more than this anyway. */
    long long decimals = static_cast<long long>(sig) - mag - 1;
    if (decimals < dec)
        decimals = dec;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 40)
        decimals = 40;
    if (width < decimals)
        width = static_cast<int>(decimals);
    print_fixed(str, width, static_cast<int>(decimals), x);
    return str;
}

/* ------------------------------------------------------------------------
 * Classification
 * ---------------------------------------------------------------------- */

int string_is_float(const char *string) {
    if (string == nullptr || *string == '\0')
        return 0;
    return std::strchr(string, '.') != nullptr || std::strchr(string, 'E') != nullptr;
}

int string_is_alpha(const char *string) {
    if (string == nullptr || *string == '\0')
        return 0;
    for (; *string != '\0'; ++string) {
        if (!std::isalpha(static_cast<unsigned char>(*string)))
            return 0;
    }
    return 1;
}

int string_is_num(const char *string) {
    if (string == nullptr || *string == '\0')
        return 0;
    if (*string == '-')
        ++string;
    for (; *string != '\0'; ++string) {
        if (!is_digit(*string))
            return 0;
    }
    return 1;
}

int string_is_num_len(const char *string, int len) {
    if (string == nullptr || *string == '\0')
        return 0;
    for (int i = 0; i < len; ++i) {
        if (!is_digit(string[i])) /* stops at the terminator at the latest */
            return 0;
    }
    return 1;
}

int string_is_blank(const char *string) {
    if (string == nullptr)
        return 1;
    for (; *string != '\0'; ++string) {
        if (static_cast<signed char>(*string) > 32)
            return 0;
    }
    return 1;
}

/* ------------------------------------------------------------------------
 * Allocation
 * ---------------------------------------------------------------------- */

char *create_string(const char *string) {
    if (string == nullptr)
        return nullptr;
    return copy_bytes(string, std::strlen(string));
}

char *create_strcat(const char *oldstr, const char *delim, const char *string) {
    if (string == nullptr)
        return nullptr;
    if (oldstr == nullptr)
        return create_string(string); /* the first item of a list: no delimiter */
    if (delim == nullptr)
        delim = "";
    size_t lo = std::strlen(oldstr), ld = std::strlen(delim), ls = std::strlen(string);
    char *joined = static_cast<char *>(std::malloc(lo + ld + ls + 1));
    if (joined == nullptr)
        return nullptr;
    std::memcpy(joined, oldstr, lo);
    std::memcpy(joined + lo, delim, ld);
    std::memcpy(joined + lo + ld, string, ls + 1);
    return joined;
}

int parse_string(const char *string, char delim, int *argc, char ***argv) {
    if (argc != nullptr)
        *argc = 0;
    if (argv != nullptr)
        *argv = nullptr;
    if (string == nullptr || *string == '\0' || argc == nullptr || argv == nullptr)
        return -1;
    char *copy = create_string(string);
    if (copy == nullptr)
        return -1;
    trim_trailing(copy, delim);
    int count = 1;
    for (const char *p = copy; *p != '\0'; ++p)
        count += (*p == delim);
    char **array = static_cast<char **>(std::malloc(sizeof(char *) * count));
    if (array == nullptr) {
        std::free(copy);
        return -1;
    }
    array[0] = copy;
    int item = 1;
    for (char *p = copy; *p != '\0'; ++p) {
        if (*p == delim) {
            *p = '\0';
            array[item++] = p + 1;
        }
    }
    *argc = count;
    *argv = array;
    return 0;
}

int parse_command(const char *string, int *argc, char ***argv) {
    if (argc != nullptr)
        *argc = 0;
    if (argv != nullptr)
        *argv = nullptr;
    if (string == nullptr || argc == nullptr || argv == nullptr)
        return -1;
    char *copy = create_string(string);
    if (copy == nullptr)
        return -1;
    return command_array(copy, argc, argv);
}

int parse_command_line(const char *command, const char *string, int *argc, char ***argv) {
    if (command == nullptr)
        command = "";
    if (string == nullptr)
        string = "";
    if (*command == '\0' && *string == '\0') {
        if (argc != nullptr)
            *argc = 0;
        if (argv != nullptr)
            *argv = nullptr;
        return -1;
    }
    char *line = create_strcat(command, " ", string);
    if (line == nullptr)
        return parse_command(nullptr, argc, argv);
    int result = parse_command(line, argc, argv);
    std::free(line);
    return result;
}

int free_parsed_array(int argc, char **argv) {
    if (argc <= 0 || argv == nullptr)
        return 0;
    std::free(argv[0]);
    std::free(argv);
    return 0;
}
