/* cty.h - what the record reader and line splitter share; not part of the library's interface. */
#ifndef KEM_CTY_H
#define KEM_CTY_H

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr int kFields = 10;    /* fields of a whole record */
inline constexpr int kNumberMax = 64; /* longest numeric text accepted */
/* A line is split at once when its newline is within these bytes. */
inline constexpr int kLineMax = 128;

/* A whole number as "%d" reads it; beyond the range of int it is held at
   its limit.  The text is a sign and digits, the sign optional. */
int cty_to_int(std::string_view text);

/* A real number as "%f" reads it. */
float cty_to_real(std::string_view text);

/* A line split at its word edges: word i runs from byte at[2i] to the
   byte before at[2i+1], counted from `p`. */
struct Line {
    const char *p = nullptr;
    int len = -1;             /* bytes before the newline; -1: none within kLineMax */
    uint8_t at[kLineMax + 1]; /* room for an edge at every bit */

    std::string_view word(int i) const {
        return {p + at[2 * i], static_cast<size_t>(at[2 * i + 1] - at[2 * i])};
    }
};

/*
 * Splits the line at `p` (a word's first byte) into exactly kFields words
 * that the field scan would read one to a field; false for any other line.
 * Sets the line's `len` either way.  Reads at most kLineMax bytes from
 * `p`, up to 31 of them behind the newline.
 */
bool cty_split_line(const char *p, Line &line);

#endif /* KEM_CTY_H */
