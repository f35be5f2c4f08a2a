/*
 * cty_read.cpp - station record and database file (CTY_).
 *
 * The station database is a text file of blank-separated station records.
 * This module opens it (directly, or as named by the city_file and
 * file_path resources), reads it record by record into CTY_data and looks
 * up single stations.
 *
 * State: the one open database stream, the block of it read ahead and the
 * file type given when it was opened (opening another database closes it
 * first).  Readers answer -1 on failure; lookups answer 1 or 0.  The only
 * messages are the warnings of CTY_open_file about a missing file or a
 * path too long for its buffer.
 *
 * A record is read as one whitespace-driven scan that may run across line
 * ends, field by field like "%20s %2s %2s %9s %s %f %f %f %d %d\n": a text
 * longer than its field leaves the rest to the next field, a missing field
 * is taken from the next line, and the scan stops at the first field that
 * cannot be read.  Every field is bounded; the priority field keeps its
 * first 4 characters and drops the rest of its word.
 *
 * The file is read in large blocks.  A line that holds exactly one whole
 * record, every field within its width and every number whole, is decoded
 * at once; anything else (a record across lines, a field too long, a
 * number that stops inside its word) goes through the field-by-field scan,
 * which is the definition of what a record holds.  Both give the same
 * record and leave the file at the same place.
 */
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <unistd.h>

namespace {

constexpr int kFields = 10;       /* fields of a whole record */
constexpr int kPriorWidth = 4;    /* characters kept of the priority field */
constexpr int kNumberMax = 64;    /* longest numeric text accepted */
constexpr long kRecordBytes = 59; /* assumed size of one record on disk */
constexpr long kMaxStations = 4000;
constexpr size_t kBlock = 64 * 1024; /* bytes read at a time */

/* The bytes of the open database read ahead of the scan.  Once a read
   finds the end (or fails) nothing more is read until the file is rewound;
   `at_end` is what feof would answer: the scan asked for a byte past it. */
struct Source {
    int fd = -1;
    size_t pos = 0; /* next unread byte */
    size_t len = 0; /* bytes held */
    bool eof = false;
    bool at_end = false;
    /* A '\n' always stands behind the bytes held, and room behind that
       for the rest of a 32-byte piece read across it. */
    char buf[kBlock + 1 + 32];

    /* Keeps the unread bytes, moved to the front, and reads more behind
       them; false when nothing more came. */
    bool fill() {
        if (eof)
            return false;
        std::memmove(buf, buf + pos, len - pos);
        len -= pos;
        pos = 0;
        buf[len] = '\n';
        if (len == kBlock)
            return false;
        ssize_t n;
        do
            n = read(fd, buf + len, kBlock - len);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            eof = true;
            return false;
        }
        len += static_cast<size_t>(n);
        buf[len] = '\n';
        return true;
    }
    int get() {
        if (pos == len && !fill()) {
            at_end = true;
            return EOF;
        }
        return static_cast<unsigned char>(buf[pos++]);
    }
    /* Puts back the byte that get() just answered. */
    void unget() { --pos; }
    void reset() {
        pos = len = 0;
        eof = at_end = false;
    }
};

struct Database {
    FILE *stream = nullptr; /* the open database, or none */
    int type = 0;           /* file type given at open */
    Source in;
};

Database db;

/* ------------------------------------------------------------------------
 * The open stream
 * ---------------------------------------------------------------------- */

const char *access_mode(int f_access) {
    switch (f_access) {
    case 0:
        return "r";
    case 1:
        return "w";
    default:
        return nullptr;
    }
}

void close_database() {
    if (db.stream != nullptr)
        FILE_close(db.stream);
    db.stream = nullptr;
    db.in.reset();
}

/* ------------------------------------------------------------------------
 * Field scanning
 * ---------------------------------------------------------------------- */

enum class Scan { ok, mismatch, end };

int skip_more_space(Source &in) {
    while (true) {
        while (in.pos < in.len && is_blank(static_cast<unsigned char>(in.buf[in.pos])))
            ++in.pos;
        if (in.pos < in.len)
            return static_cast<unsigned char>(in.buf[in.pos]);
        if (!in.fill()) {
            in.at_end = true;
            return EOF;
        }
    }
}

/* Skips white space; answers the next character (left unread) or EOF. */
inline int skip_space(Source &in) {
    if (in.pos < in.len && !is_blank(static_cast<unsigned char>(in.buf[in.pos])))
        return static_cast<unsigned char>(in.buf[in.pos]);
    return skip_more_space(in);
}

/* Like "%Ns": up to `width` non-blank bytes into `out` (width+1 bytes). */
Scan scan_word(Source &in, char *out, int width) {
    if (skip_space(in) == EOF)
        return Scan::end;
    int n = 0;
    int c;
    while (n < width && (c = in.get()) != EOF) {
        if (is_blank(c)) {
            in.unget();
            break;
        }
        out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
    return Scan::ok;
}

void skip_word(Source &in) {
    int c;
    while ((c = in.get()) != EOF && !is_blank(c)) {
    }
    if (c != EOF)
        in.unget();
}

/* The text of a number being scanned; too long a text is no number. */
struct NumberText {
    char buf[kNumberMax + 1] = "";
    int len = 0;
    bool overflow = false;

    void add(int c) {
        if (len < kNumberMax)
            buf[len++] = static_cast<char>(c);
        else
            overflow = true;
        buf[len] = '\0';
    }
};

/* Takes one character of `set`, if it is next. */
bool take_one(Source &in, NumberText &t, const char *set) {
    int c = in.get();
    if (c != EOF && c != '\0' && std::strchr(set, c) != nullptr) {
        t.add(c);
        return true;
    }
    if (c != EOF)
        in.unget();
    return false;
}

int take_digits(Source &in, NumberText &t) {
    int n = 0;
    int c;
    while (is_digit(c = in.get())) {
        t.add(c);
        ++n;
    }
    if (c != EOF)
        in.unget();
    return n;
}

/* A number's text terminated for the C conversions, cut to the longest
   number a field can hold. */
struct CText {
    explicit CText(std::string_view from) {
        size_t n = std::min(from.size(), sizeof text - 1);
        std::memcpy(text, from.data(), n);
        text[n] = '\0';
    }
    char text[kNumberMax + 1];
};

/* A whole number as "%d" reads it; beyond the range of int it is held at
   its limit.  The text is a sign and digits, the sign optional. */
int to_int(std::string_view text) {
    const char *first = text.data(), *last = first + text.size();
    bool negative = first != last && *first == '-';
    if (first != last && (*first == '+' || negative))
        ++first;
    if (first != last && last - first <= 9) { /* within int whatever the digits */
        int value = 0;
        const char *p = first;
        for (; p != last && is_digit(*p); ++p)
            value = value * 10 + (*p - '0');
        if (p == last)
            return negative ? -value : value;
    }
    first = text.data();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && end == last)
        return value;
    CText copy(text);
    return static_cast<int>(
        std::clamp<long>(std::strtol(copy.text, nullptr, 10), INT_MIN, INT_MAX));
}

/*
 * A decimal of at most 7 digits and no exponent, such as 41.98: its digits
 * and the power of ten they are divided by are floats held exactly, and
 * one correctly rounded division gives what strtof gives.  False for any
 * other text.
 */
bool short_decimal(const char *first, const char *last, float &out) {
    static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
    bool negative = first != last && *first == '-';
    const char *p = first + (negative ? 1 : 0);
    const char *whole = p;
    long digits = 0;
    for (; p != last && is_digit(*p) && p - whole < 8; ++p)
        digits = digits * 10 + (*p - '0');
    long count = p - whole, scale = 0;
    if (p != last && *p == '.') {
        const char *fraction = ++p;
        for (; p != last && is_digit(*p) && p - fraction < 8; ++p)
            digits = digits * 10 + (*p - '0');
        scale = p - fraction;
    }
    if (p != last || count + scale == 0 || count + scale > 7)
        return false;
    float value = static_cast<float>(digits) / kPowers[scale];
    out = negative ? -value : value;
    return true;
}

/* A real number as "%f" reads it.  from_chars and strtof agree wherever
   from_chars answers for the whole text; elsewhere (out of range, forms it
   does not take) the C conversion decides. */
float to_real(std::string_view text) {
    const char *first = text.data(), *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    float value = 0;
    if (short_decimal(first, last, value))
        return value;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && end == last)
        return value;
    CText copy(text);
    return std::strtof(copy.text, nullptr);
}

/* Like "%d"; a value beyond the range of int is held at its limit. */
Scan scan_int(Source &in, int &out) {
    if (skip_space(in) == EOF)
        return Scan::end;
    NumberText t;
    take_one(in, t, "+-");
    if (take_digits(in, t) == 0 || t.overflow)
        return Scan::mismatch;
    out = to_int({t.buf, static_cast<size_t>(t.len)});
    return Scan::ok;
}

/* Like "%f" for decimal numbers with an optional exponent. */
Scan scan_real(Source &in, float &out) {
    if (skip_space(in) == EOF)
        return Scan::end;
    NumberText t;
    take_one(in, t, "+-");
    int digits = take_digits(in, t);
    if (take_one(in, t, "."))
        digits += take_digits(in, t);
    if (digits == 0)
        return Scan::mismatch;
    if (take_one(in, t, "eE")) {
        take_one(in, t, "+-");
        if (take_digits(in, t) == 0)
            return Scan::mismatch;
    }
    if (t.overflow)
        return Scan::mismatch;
    out = to_real({t.buf, static_cast<size_t>(t.len)});
    return Scan::ok;
}

/* The priority field: its first characters, the rest of its word dropped. */
Scan scan_prior(Source &in, char *prior) {
    Scan s = scan_word(in, prior, kPriorWidth);
    if (s == Scan::ok)
        skip_word(in);
    return s;
}

Scan scan_field(Source &in, int field, CTY_data &rec, char *prior) {
    switch (field) {
    case 0:
        return scan_word(in, rec.name, sizeof rec.name - 1);
    case 1:
        return scan_word(in, rec.state, sizeof rec.state - 1);
    case 2:
        return scan_word(in, rec.region, sizeof rec.region - 1);
    case 3:
        return scan_word(in, rec.id, sizeof rec.id - 1);
    case 4:
        return scan_prior(in, prior);
    case 5:
        return scan_real(in, rec.lat);
    case 6:
        return scan_real(in, rec.lon);
    case 7:
        return scan_real(in, rec.el);
    case 8:
        return scan_int(in, rec.wmo);
    default:
        return scan_int(in, rec.num);
    }
}

/*
 * Scans the fields of one record in file order until one is missing or
 * unreadable.  Answers the number read, or -1 when the input ended before
 * the first.  After a whole record the white space that follows it (blank
 * lines included) is skipped.
 */
int scan_record(Source &in, CTY_data &rec, char *prior) {
    for (int field = 0; field < kFields; ++field) {
        Scan s = scan_field(in, field, rec, prior);
        if (s == Scan::end && field == 0)
            return -1;
        if (s != Scan::ok)
            return field;
    }
    skip_space(in);
    return kFields;
}

/* ------------------------------------------------------------------------
 * Whole-line decoding
 * ---------------------------------------------------------------------- */

/* The widths of the text fields, and the kind of every field of a line. */
enum class Kind { text, prior, real, whole };
struct FieldForm {
    Kind kind;
    size_t width; /* texts: longest the scan keeps whole */
};
constexpr FieldForm kForms[kFields] = {{Kind::text, sizeof CTY_data::name - 1},
                                       {Kind::text, sizeof CTY_data::state - 1},
                                       {Kind::text, sizeof CTY_data::region - 1},
                                       {Kind::text, sizeof CTY_data::id - 1},
                                       {Kind::prior, 0},
                                       {Kind::real, 0},
                                       {Kind::real, 0},
                                       {Kind::real, 0},
                                       {Kind::whole, 0},
                                       {Kind::whole, 0}};

/* Reads digits from `p`; answers where they stop. */
const char *skip_digits(const char *p, const char *end) {
    while (p != end && is_digit(*p))
        ++p;
    return p;
}

const char *skip_sign(const char *p, const char *end) {
    return p != end && (*p == '+' || *p == '-') ? p + 1 : p;
}

/* Is the whole word one number as the field scan would read it? */
bool whole_number(std::string_view w, Kind kind) {
    if (w.size() > static_cast<size_t>(kNumberMax))
        return false;
    const char *p = w.data(), *end = p + w.size();
    p = skip_sign(p, end);
    const char *first = p;
    p = skip_digits(p, end);
    size_t digits = static_cast<size_t>(p - first);
    if (kind == Kind::whole)
        return digits > 0 && p == end;
    if (p != end && *p == '.') {
        const char *fraction = ++p;
        p = skip_digits(p, end);
        digits += static_cast<size_t>(p - fraction);
    }
    if (digits == 0)
        return false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        p = skip_sign(p + 1, end);
        const char *exp = p;
        p = skip_digits(p, end);
        if (p == exp)
            return false;
    }
    return p == end;
}

__extension__ typedef unsigned __int128 Bits; /* a bit for each byte of a line */

constexpr int kLineMax = 128; /* a line is split at once when its newline is within these bytes */

/* The bytes of a line by class, bit i of the pair for byte i (the second
   number holds bytes 64 to 127); `len` counts the bytes before its
   newline, or is -1 when there is none within kLineMax.  The bits at and
   past the newline are not meaningful. */
struct LineBits {
    int len = -1;
    uint64_t blank[2] = {}, digit[2] = {}, point[2] = {}, sign[2] = {};
};

Bits join(const uint64_t (&halves)[2]) {
    return Bits{halves[1]} << 64 | halves[0];
}

#if defined(__SSE2__)
uint64_t mask_of(__m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}
#endif

/* Classifies the bytes from `p` to the first newline, 16 at a time (SSE2
   where available): up to 15 bytes behind the newline are read. */
[[gnu::always_inline]] inline LineBits classify(const char *p) {
    LineBits b;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'),
                  span = _mm_set1_epi8('\r' - '\t'), newline = _mm_set1_epi8('\n'),
                  zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9), dot = _mm_set1_epi8('.'),
                  plus = _mm_set1_epi8('+'), minus = _mm_set1_epi8('-');
    for (int i = 0; i < kLineMax / 16; ++i) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        __m128i from_tab = _mm_sub_epi8(x, tab); /* '\t' to '\r' become 0 to 4 */
        __m128i from_zero = _mm_sub_epi8(x, zero);
        int half = i / 4, shift = 16 * (i % 4);
        b.blank[half] |=
            mask_of(_mm_or_si128(_mm_cmpeq_epi8(x, space),
                                 _mm_cmpeq_epi8(_mm_min_epu8(from_tab, span), from_tab)))
            << shift;
        b.digit[half] |= mask_of(_mm_cmpeq_epi8(_mm_min_epu8(from_zero, nine), from_zero)) << shift;
        b.point[half] |= mask_of(_mm_cmpeq_epi8(x, dot)) << shift;
        b.sign[half] |= mask_of(_mm_or_si128(_mm_cmpeq_epi8(x, plus), _mm_cmpeq_epi8(x, minus)))
                        << shift;
        if (uint64_t ends = mask_of(_mm_cmpeq_epi8(x, newline)); ends != 0) {
            b.len = 16 * i + std::countr_zero(ends);
            break;
        }
    }
#else
    for (int i = 0; i < kLineMax; ++i) {
        auto c = static_cast<unsigned char>(p[i]);
        if (c == '\n') {
            b.len = i;
            break;
        }
        uint64_t bit = uint64_t{1} << (i % 64);
        if (is_blank(c))
            b.blank[i / 64] |= bit;
        else if (is_digit(c))
            b.digit[i / 64] |= bit;
        else if (c == '.')
            b.point[i / 64] |= bit;
        else if (c == '+' || c == '-')
            b.sign[i / 64] |= bit;
    }
#endif
    return b;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KEM_AVX2_LINES 1
__attribute__((target("avx2"))) inline uint64_t mask(__m256i bytes) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
}

/* classify() 32 bytes at a time, for processors with AVX2: up to 31 bytes
   behind the newline are read. */
__attribute__((target("avx2"))) inline LineBits classify_avx2(const char *p) {
    LineBits b;
    const __m256i space = _mm256_set1_epi8(' '), tab = _mm256_set1_epi8('\t'),
                  span = _mm256_set1_epi8('\r' - '\t'), newline = _mm256_set1_epi8('\n'),
                  zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9),
                  dot = _mm256_set1_epi8('.'), plus = _mm256_set1_epi8('+'),
                  minus = _mm256_set1_epi8('-');
    for (int i = 0; i < kLineMax / 32; ++i) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * i));
        __m256i from_tab = _mm256_sub_epi8(x, tab);
        __m256i from_zero = _mm256_sub_epi8(x, zero);
        int half = i / 2, shift = 32 * (i % 2);
        b.blank[half] |=
            mask(_mm256_or_si256(_mm256_cmpeq_epi8(x, space),
                                 _mm256_cmpeq_epi8(_mm256_min_epu8(from_tab, span), from_tab)))
            << shift;
        b.digit[half] |= mask(_mm256_cmpeq_epi8(_mm256_min_epu8(from_zero, nine), from_zero))
                         << shift;
        b.point[half] |= mask(_mm256_cmpeq_epi8(x, dot)) << shift;
        b.sign[half] |=
            mask(_mm256_or_si256(_mm256_cmpeq_epi8(x, plus), _mm256_cmpeq_epi8(x, minus))) << shift;
        if (uint64_t ends = mask(_mm256_cmpeq_epi8(x, newline)); ends != 0) {
            b.len = 32 * i + std::countr_zero(ends);
            break;
        }
    }
    return b;
}
#endif

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
 * Are the number words, bytes `first` to the newline, numbers the field
 * scan reads whole?  Answered from the classes of the bytes, all words at
 * once, 64 bytes at most: each word an optional sign, digits and at most
 * one point (none from byte `wholes` on), one digit at least.  False does
 * not rule a line out: whole_number() then decides.
 */
[[gnu::always_inline]] inline bool simple_numbers(const LineBits &b, Bits blank_bits,
                                                  Bits start_bits, int first, int wholes) {
    int span = b.len - first;
    if (span > 63)
        return false;
    auto part = [first](Bits bits) { return static_cast<uint64_t>(bits >> first); };
    uint64_t in_line = (uint64_t{1} << span) - 1;
    uint64_t blank = part(blank_bits) | ~in_line, solid = ~blank, starts = part(start_bits);
    uint64_t digit = part(join(b.digit)) & in_line, point = part(join(b.point)) & in_line,
             sign = part(join(b.sign)) & in_line;
    uint64_t marks = solid & ~digit; /* signs and points, once there are no others */
    uint64_t bad = (solid & ~(digit | point | sign)) | (sign & ~starts) |
                   (point & ~uint64_t{0} << (wholes - first)) |
                   (point & (solid + point)) |           /* a point after a point in one word */
                   ((marks + (starts & marks)) & blank); /* a word of marks only: the carry
                                                            lands on the blank behind it */
    return bad == 0;
}

/*
 * Splits the line at `p` (a word's first byte) into exactly kFields words
 * that the field scan would read one to a field; false for any other line.
 * Sets the line's `len` either way.  Built once for each classifier, in
 * the instruction set of that classifier.
 */
template <LineBits (*Classify)(const char *)>
[[gnu::always_inline]] inline bool split_with(const char *p, Line &line) {
    LineBits b = Classify(p);
    line.p = p;
    line.len = b.len;
    if (b.len < 0)
        return false;
    Bits in_line = (Bits{1} << b.len) - 1;
    Bits blank = join(b.blank) | ~in_line, solid = ~blank;
    Bits starts = solid & (blank << 1 | 1), edges = starts | (blank & solid << 1);
    int n = 0;
    for (auto e = static_cast<uint64_t>(edges); e != 0; e &= e - 1)
        line.at[n++] = static_cast<uint8_t>(std::countr_zero(e));
    for (auto e = static_cast<uint64_t>(edges >> 64); e != 0; e &= e - 1)
        line.at[n++] = static_cast<uint8_t>(64 + std::countr_zero(e));
    if (n != 2 * kFields)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (static_cast<size_t>(line.at[2 * i + 1] - line.at[2 * i]) > kForms[i].width)
            return false;
    }
    if (simple_numbers(b, blank, starts, line.at[10], line.at[16]))
        return true;
    for (int i = 5; i < kFields; ++i) {
        if (!whole_number(line.word(i), kForms[i].kind))
            return false;
    }
    return true;
}

bool split_line_sse2(const char *p, Line &line) {
    return split_with<classify>(p, line);
}

using Splitter = bool (*)(const char *p, Line &line);

#if defined(KEM_AVX2_LINES)
__attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt"))) bool split_line_avx2(const char *p,
                                                                           Line &line) {
    return split_with<classify_avx2>(p, line);
}
#endif

/* The splitter for this processor. */
Splitter pick_splitter() {
#if defined(KEM_AVX2_LINES)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"))
        return split_line_avx2;
#endif
    return split_line_sse2;
}

bool split_line(const char *p, Line &line) {
    static const Splitter split = pick_splitter();
    return split(p, line);
}

template <size_t N> void copy_word(char (&out)[N], std::string_view w) {
    size_t n = std::min(w.size(), N - 1);
    std::memcpy(out, w.data(), n);
    out[n] = '\0';
}

void decode_texts(const Line &line, CTY_data &rec, char *prior) {
    copy_word(rec.name, line.word(0));
    copy_word(rec.state, line.word(1));
    copy_word(rec.region, line.word(2));
    copy_word(rec.id, line.word(3));
    std::string_view w = line.word(4);
    size_t n = std::min(w.size(), static_cast<size_t>(kPriorWidth));
    std::memcpy(prior, w.data(), n);
    prior[n] = '\0';
}

void decode_numbers(const Line &line, CTY_data &rec) {
    rec.lat = to_real(line.word(5));
    rec.lon = to_real(line.word(6));
    rec.el = to_real(line.word(7));
    rec.wmo = to_int(line.word(8));
    rec.num = to_int(line.word(9));
}

/*
 * Splits the line under the scan when it is held whole and regular: ended
 * by its newline, or by the end of the file, where the '\n' behind the
 * bytes held stands in for one.  False when the field scan must read it.
 * A line that runs to the end of the bytes held is looked at again once
 * more are read; a newline already held is never waited past.
 */
bool split_held_line(Source &in, Line &line) {
    bool regular = split_line(in.buf + in.pos, line);
    auto at_edge = [&in](const Line &l) {
        return l.len >= 0 && in.pos + static_cast<size_t>(l.len) == in.len && !in.eof;
    };
    if (at_edge(line)) {
        in.fill(); /* moves the line to the front */
        regular = split_line(in.buf + in.pos, line);
        if (at_edge(line))
            return false;
    }
    return regular;
}

/* Leaves the scan after the line and the white space that follows it, as
   the field scan does after a whole record. */
void pass_line(Source &in, const Line &line) {
    in.pos += static_cast<size_t>(line.len);
    if (in.pos < in.len)
        ++in.pos; /* the '\n' */
    skip_space(in);
}

/* ------------------------------------------------------------------------
 * Record decoding
 * ---------------------------------------------------------------------- */

/* Could the selection take the record of these words?  Answered from the
   name, state and identifier before anything is copied. */
bool may_select(const CTY_select *sel, const Line &line) {
    auto size = [&line](int i) { return static_cast<int>(line.at[2 * i + 1] - line.at[2 * i]); };
    return CTY_select_words(sel, line.p + line.at[0], size(0), line.p + line.at[2], size(1),
                            line.p + line.at[6], size(3)) != 0;
}

/* What a record shows for the fields that a short read did not reach. */
CTY_data empty_record() {
    CTY_data rec{};
    rec.prior = KEM_MISSING;
    rec.mos = ' ';
    rec.ua = ' ';
    rec.lat = KEM_MISSING;
    rec.lon = KEM_MISSING;
    rec.el = KEM_MISSING;
    rec.wmo = KEM_MISSING;
    rec.num = 0;
    return rec;
}

/*
 * An optional '*' (mos), one digit (the priority), an optional '*' (ua).
 * Without a digit in its place the priority stays missing; nothing beyond
 * the field is looked at.
 */
void decode_prior(std::string_view field, CTY_data &rec) {
    size_t at = 0;
    if (!field.empty() && field[0] == '*') {
        rec.mos = '*';
        at = 1;
    }
    if (at < field.size() && is_digit(field[at]))
        rec.prior = field[at] - '0';
    if (at + 1 < field.size() && field[at + 1] == '*')
        rec.ua = '*';
}

void finish_record(CTY_data &rec, int count, const char *prior) {
    if (count > 4)
        decode_prior(prior, rec);
    if (rec.el > 9000)
        rec.el = KEM_MISSING;
}

/*
 * Reads the next record; with a selection, regular lines whose texts no
 * item can select are passed over before their numbers are converted.
 */
int read_record(CTY_data &rec, const CTY_select *sel) {
    Source &in = db.in;
    Line line;
    while (true) {
        if (in.at_end)
            return -1;
        if (skip_space(in) == EOF) {
            rec = empty_record();
            return -1;
        }
        char prior[kPriorWidth + 1] = "";
        if (!split_held_line(in, line)) {
            rec = empty_record();
            int count = scan_record(in, rec, prior);
            finish_record(rec, count, prior);
            return count;
        }
        if (sel != nullptr && !may_select(sel, line)) {
            pass_line(in, line);
            continue;
        }
        rec = empty_record();
        decode_texts(line, rec, prior);
        if (sel != nullptr && CTY_select_texts(sel, &rec) == 0) {
            pass_line(in, line);
            continue;
        }
        decode_numbers(line, rec);
        pass_line(in, line);
        finish_record(rec, kFields, prior);
        return kFields;
    }
}

/* ------------------------------------------------------------------------
 * Opening by resources and single-station lookup
 * ---------------------------------------------------------------------- */

/*
 * The database file name: the city_file resource when it holds a value,
 * else the caller's name, else "sao.cty".  Null when the resource is
 * "none", which switches the database off.
 */
const char *database_name(const char *city_file) {
    const char *res = RES_get("city_file");
    if (res != nullptr && *res != '\0')
        return stricmp(res, "none") == 0 ? nullptr : res;
    return city_file != nullptr ? city_file : "sao.cty";
}

int station_estimate(const char *path) {
    long size = FILE_size(path);
    if (size <= 0)
        return 0;
    return static_cast<int>(std::min(size / kRecordBytes, kMaxStations));
}

bool record_matches(const CTY_data &rec, const char *id) {
    char number[16];
    *station_number(number, rec.wmo) = '\0';
    return stricmp(id, rec.id) == 0 || stricmp(id, rec.name) == 0 || std::strcmp(id, number) == 0;
}

bool search_database(int city_fd, const char *id, CTY_data &rec) {
    CTY_rewind(city_fd);
    while (CTY_read(city_fd, &rec) > 0) {
        if (record_matches(rec, id))
            return true;
    }
    return false;
}

} // namespace

/* ------------------------------------------------------------------------
 * The database file
 * ---------------------------------------------------------------------- */

int CTY_open(const char *filename, int f_access, int f_type) {
    const char *mode = access_mode(f_access);
    if (mode == nullptr || filename == nullptr)
        return -1;
    close_database();
    db.stream = FILE_open(filename, mode);
    if (db.stream == nullptr)
        return -1;
    db.type = f_type;
    db.in.fd = fileno(db.stream);
    return db.in.fd;
}

int CTY_getinfo(int city_fd, CTY_info *info) {
    if (CTY_rewind(city_fd) < 0)
        return -1;
    if (info != nullptr)
        info->dtype = db.type;
    return 0;
}

/* A stream that cannot seek (a pipe) keeps what was read ahead. */
int CTY_rewind(int) {
    if (db.stream == nullptr)
        return -1;
    if (lseek(db.in.fd, 0, SEEK_SET) == 0)
        db.in.reset();
    else
        db.in.eof = db.in.at_end = false;
    return 0;
}

int CTY_close(int) {
    if (db.stream == nullptr)
        return -1;
    close_database();
    return 0;
}

int CTY_read(int, CTY_data *city) {
    if (db.stream == nullptr || city == nullptr)
        return -1;
    return read_record(*city, nullptr);
}

int CTY_read_select(int, CTY_data *city, const CTY_select *sel) {
    if (db.stream == nullptr || city == nullptr)
        return -1;
    return read_record(*city, sel);
}

int CTY_data_init(CTY_data *data) {
    if (data == nullptr)
        return 0;
    data->name[0] = '\0';
    data->id[0] = '\0';
    data->wmo = KEM_MISSING;
    data->lat = KEM_MISSING;
    data->lon = KEM_MISSING;
    data->el = KEM_MISSING;
    return 0;
}

int CTY_open_path(const char *path, int usable, int *num_stats) {
    if (path == nullptr)
        path = "";
    if (num_stats != nullptr)
        *num_stats = usable ? station_estimate(path) : 0;
    if (!usable) {
        MESS_print(M_warn, "CTY_open_file: Database file name too long: %s...\n", path);
        return -1;
    }
    int fd = CTY_open(path, 0, 0);
    if (fd < 0)
        MESS_print(M_warn, "CTY_open_file: Database file not found: %s\n", path);
    return fd;
}

int CTY_open_file(const char *city_file, int *num_stats) {
    const char *name = database_name(city_file);
    if (name == nullptr)
        return -1;
    char path[KEM_PATH_MAX] = "";
    bool fits = FILE_add_path(RES_get("file_path"), name, path) != nullptr;
    return CTY_open_path(path, fits ? 1 : 0, num_stats);
}

/* ------------------------------------------------------------------------
 * Single-station lookup
 * ---------------------------------------------------------------------- */

int CTY_get(const char *city_file, const char *id, CTY_data *data) {
    if (id == nullptr)
        return 0;
    int num_stats = 0;
    int fd = CTY_open_file(city_file, &num_stats);
    if (fd < 0)
        return 0;
    MESS_print(M_mess, "Searching the city database file for: %s ...\n", id);
    CTY_data scratch;
    bool found = search_database(fd, id, data != nullptr ? *data : scratch);
    CTY_close(fd);
    return found ? 1 : 0;
}

int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon) {
    CTY_data rec;
    if (CTY_get(city_file, id, &rec) != 1)
        return 0;
    if (lat != nullptr)
        *lat = rec.lat;
    if (lon != nullptr)
        *lon = rec.lon;
    return 1;
}

int CTY_get_prior(void) {
    int prior = 10;
    RES_getval("stat_prior", &prior, CV_int);
    return prior;
}
