/*
 * cty_line.cpp - the words of a station record: whole-line splitting for
 * the database reader, and the values of number words.
 *
 * A line that holds exactly one whole record, every field within its width
 * and every number whole, is split into its ten words at once: its bytes
 * are classed (blank, digit, point, sign) 16 or 32 at a time, with SSE2 or
 * AVX2 where the processor has them and byte by byte elsewhere, and the
 * word edges and the shapes of the numbers are read from those classes.
 * Any other line is left to the field-by-field scan of cty_read.cpp, which
 * is the definition of what a record holds: a split line gives the words
 * the scan would read, and both convert number words here, the same way.
 *
 * State: the splitter chosen for the processor, once.  Nothing here fails
 * or prints: a line that cannot be split whole is answered false.
 */
#include "cty.h"
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

/* ------------------------------------------------------------------------
 * The values of number words
 * ---------------------------------------------------------------------- */

namespace {

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

} // namespace

int cty_to_int(std::string_view text) {
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

/* from_chars and strtof agree wherever from_chars answers for the whole
   text; elsewhere (out of range, forms it does not take) the C conversion
   decides. */
float cty_to_real(std::string_view text) {
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

/* ------------------------------------------------------------------------
 * Splitting a line
 * ---------------------------------------------------------------------- */

namespace {

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

/* split_line() with the classes of one classifier: built once for each,
   in the instruction set of that classifier. */
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

} // namespace

bool cty_split_line(const char *p, Line &line) {
    static const Splitter split = pick_splitter();
    return split(p, line);
}
