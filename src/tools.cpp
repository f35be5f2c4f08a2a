/*
 * tools.cpp - byte order, small numeric helpers and station-number codes.
 *
 * The binary file readers of the suite swap the byte order of 2-, 4- and
 * 8-byte values through the swap switch kept here: on at start, set by
 * swap_setup from the host's byte order and the order the caller declares
 * for its data.  Every swap operation answers -1 and changes nothing while
 * the switch is off.
 *
 * Station numbers (five digits, WMO block and station) convert to and from
 * the alphanumeric identifiers used where a station is stored under one
 * and looked up by the other.  One ordered table of number ranges serves
 * both directions: wmo_to_id takes the prefix of the first range holding a
 * number, id_to_wmo takes the block base of the range its prefix names.
 * Nothing here prints; conversions answer -1 when they cannot be made.
 */
#include "kem.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

/* ------------------------------------------------------------------------
 * Byte order
 * ---------------------------------------------------------------------- */

struct SwapState {
    bool on = true; /* the swap switch */
};

SwapState swapping;

bool host_is_little_endian() {
    const uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

void reverse_bytes(void *ptr, size_t size) {
    auto *b = static_cast<unsigned char *>(ptr);
    for (size_t i = 0; i < size / 2; ++i)
        std::swap(b[i], b[size - 1 - i]);
}

int swap_values(void *ptr, size_t size, int num) {
    if (!swapping.on || ptr == nullptr)
        return -1;
    auto *b = static_cast<unsigned char *>(ptr);
    for (int i = 0; i < num; ++i)
        reverse_bytes(b + static_cast<size_t>(i) * size, size);
    return 0;
}

int read_swapped(void *data, size_t size, FILE *ifile) {
    if (data == nullptr || ifile == nullptr || std::fread(data, size, 1, ifile) != 1)
        return 0;
    swap_values(data, size, 1);
    return 1;
}

int write_swapped(void *data, size_t size, FILE *ofile) {
    if (data == nullptr || ofile == nullptr)
        return 0;
    swap_values(data, size, 1);
    return static_cast<int>(std::fwrite(data, size, 1, ofile));
}

/* ------------------------------------------------------------------------
 * Station-number ranges
 *
 * Built from the WMO station-number blocks as published for the regions
 * of the world (block 01 Norway ... block 98 the Philippines).  Each range
 * carries the ICAO nationality letters of the country or region holding
 * it.  A two-letter prefix keeps the number modulo 1000, so all ranges of
 * one two-letter prefix lie in one thousand-block; a one-letter prefix
 * keeps the number modulo 10000 and its ranges lie in one ten-thousand
 * block.  No one-letter prefix is the first letter of a prefix whose
 * second character is a digit (K2, K4).  Under these rules every
 * identifier made converts back to its number.  The first range holding
 * a number wins.
 * ---------------------------------------------------------------------- */

struct Range {
    int low, high;      /* inclusive */
    const char *prefix; /* one or two characters */
};

/* clang-format off */
constexpr Range ranges[] = {
    {1000, 1499, "EN"},   {2000, 2699, "ES"},   {2700, 2999, "EF"},   {3000, 3949, "EG"},
    {3950, 3999, "EI"},   {4000, 4199, "BI"},   {4200, 4399, "BG"},   {6000, 6199, "EK"},
    {6200, 6399, "EH"},   {6400, 6499, "EB"},   {6590, 6599, "EL"},   {6600, 6999, "LS"},
    {7000, 7999, "LF"},   {8000, 8499, "LE"},   {8500, 8599, "LP"},   {9000, 9999, "ET"},
    {10000, 10999, "ED"}, {11000, 11399, "LO"}, {11400, 11799, "LK"}, {11800, 11999, "LZ"},
    {12000, 12999, "EP"}, {13000, 13499, "LY"}, {13500, 13599, "LW"}, {13600, 13699, "LA"},
    {14000, 14199, "LJ"}, {14200, 14499, "LD"}, {14500, 14699, "LQ"}, {15000, 15499, "LR"},
    {15500, 15999, "LB"}, {16590, 16599, "LM"}, {16000, 16589, "LI"}, {16600, 16799, "LG"},
    {17600, 17699, "LC"}, {17000, 17599, "LT"},
    /* blocks 20 to 29: the Russian Federation */
    {20000, 29999, "U"},
    {30000, 30999, "UI"}, {31000, 31999, "UH"}, {32000, 32999, "UP"}, {33000, 33999, "UK"},
    {34000, 34999, "UR"}, {35000, 35999, "UA"}, {36000, 36999, "UC"}, {37000, 37699, "UG"},
    {37700, 37799, "UD"}, {37800, 37999, "UB"}, {38000, 38999, "UT"},
    {40000, 40099, "OS"}, {40100, 40149, "OL"}, {40150, 40199, "LL"}, {40250, 40299, "OJ"},
    {40300, 40499, "OE"}, {40550, 40599, "OK"}, {40600, 40699, "OR"}, {40700, 40899, "OI"},
    {40900, 40999, "OA"}, {41100, 41149, "OB"}, {41150, 41199, "OT"}, {41200, 41299, "OM"},
    {41300, 41399, "OO"}, {41400, 41499, "OY"}, {41500, 41799, "OP"}, {41850, 41999, "VG"},
    {42000, 42999, "VI"}, {43000, 43399, "VO"}, {43400, 43499, "VC"}, {43500, 43599, "VR"},
    {44200, 44399, "ZM"}, {44400, 44499, "VN"}, {44500, 44599, "VQ"}, {45000, 45009, "VH"},
    {45010, 45099, "VM"}, {46600, 46999, "RC"}, {47000, 47099, "ZK"}, {47100, 47199, "RK"},
    {47400, 47999, "RJ"}, {48000, 48199, "VY"}, {48300, 48599, "VT"}, {48600, 48689, "WM"},
    {48690, 48699, "WS"}, {48800, 48919, "VV"}, {48920, 48949, "VL"}, {48950, 48999, "VD"},
    /* blocks 50 to 59: China */
    {50000, 59999, "Z"},
    {60000, 60099, "GC"}, {60100, 60299, "GM"}, {60300, 60349, "GS"}, {60350, 60699, "DA"},
    {60700, 60799, "DT"}, {61000, 61099, "DR"}, {61200, 61299, "GA"}, {61400, 61499, "GQ"},
    {61600, 61699, "GO"}, {61700, 61709, "GB"}, {61750, 61799, "GG"}, {61800, 61849, "GU"},
    {61850, 61899, "GF"}, {61900, 61999, "GV"}, {62000, 62299, "HL"}, {62300, 62499, "HE"},
    {62600, 62999, "HS"}, {63000, 63099, "HH"}, {63100, 63299, "HC"}, {63300, 63499, "HA"},
    {63500, 63599, "HD"}, {63600, 63799, "HK"}, {63800, 63999, "HT"}, {64000, 64099, "FT"},
    {64100, 64399, "FZ"}, {64400, 64499, "FC"}, {64500, 64599, "FO"}, {64600, 64699, "FE"},
    {64700, 64799, "FG"}, {64800, 64999, "FK"}, {65000, 65299, "DN"}, {65300, 65349, "DB"},
    {65350, 65399, "DX"}, {65400, 65499, "DG"}, {65500, 65549, "DF"}, {65550, 65599, "DI"},
    {66000, 66999, "FN"}, {67000, 67199, "FM"}, {67200, 67399, "FQ"}, {67400, 67499, "FW"},
    {67500, 67699, "FL"}, {67700, 67999, "FV"}, {68000, 68199, "FY"}, {68200, 68399, "FB"},
    {68400, 68449, "FX"}, {68450, 68499, "FD"}, {68500, 68999, "FA"},
    {70000, 70999, "PA"}, {71000, 71999, "CY"}, {72000, 72999, "K2"}, {74000, 74999, "K4"},
    {76000, 76999, "MM"}, {78000, 78099, "MY"}, {78100, 78199, "MB"}, {78200, 78389, "MU"},
    {78390, 78399, "MK"}, {78400, 78499, "MD"}, {78500, 78599, "TJ"}, {78600, 78649, "MG"},
    {78650, 78699, "MS"}, {78700, 78719, "MH"}, {78720, 78749, "MN"}, {78750, 78779, "MR"},
    {78780, 78799, "MP"}, {78800, 78899, "TT"}, {78900, 78999, "TN"},
    {80000, 80399, "SK"}, {80400, 80499, "SV"}, {81000, 81099, "SY"}, {81200, 81299, "SM"},
    {81400, 81499, "SO"},
    /* blocks 82 and 83: Brazil */
    {82000, 83999, "S"},
    {84000, 84299, "SE"}, {84300, 84999, "SP"}, {85000, 85399, "SL"}, {85400, 85999, "SC"},
    {86000, 86299, "SG"}, {86300, 86599, "SU"}, {87000, 87999, "SA"}, {88800, 88999, "SF"},
    {91100, 91199, "PH"}, {91200, 91249, "PG"}, {91250, 91299, "PH"}, {91300, 91369, "PT"},
    {91370, 91399, "PK"}, {91400, 91499, "PL"}, {91500, 91549, "AG"}, {91550, 91569, "NV"},
    {91570, 91599, "NW"}, {91600, 91699, "NF"}, {91700, 91749, "NG"}, {91750, 91799, "NS"},
    {91800, 91849, "NC"}, {91850, 91899, "NI"}, {91900, 91999, "NT"}, {92000, 92999, "AY"},
    {93000, 93999, "NZ"},
    /* blocks 94 and 95: Australia */
    {94000, 95999, "Y"},
    {96300, 96499, "WB"}, {97380, 97399, "WP"},
    /* blocks 96 and 97: Indonesia */
    {96000, 97999, "W"},
    {98000, 98999, "RP"},
};
/* clang-format on */

const Range *range_of_number(int wmo) {
    for (const Range &r : ranges)
        if (wmo >= r.low && wmo <= r.high)
            return &r;
    return nullptr;
}

const Range *range_of_prefix(const char *prefix, size_t len) {
    for (const Range &r : ranges)
        if (std::strlen(r.prefix) == len && std::strncmp(r.prefix, prefix, len) == 0)
            return &r;
    return nullptr;
}

bool all_digits(const char *text, size_t len) {
    for (size_t i = 0; i < len; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int digits_value(const char *text, size_t len) {
    int v = 0;
    for (size_t i = 0; i < len; ++i)
        v = v * 10 + (text[i] - '0');
    return v;
}

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/* The number an identifier of a known prefix stands for, or -1. */
int number_of_identifier(const char *id) {
    if (const Range *r = range_of_prefix(id, 2))
        return r->low / 1000 * 1000 + digits_value(id + 2, 3);
    if (!all_digits(id + 1, 4))
        return -1;
    if (const Range *r = range_of_prefix(id, 1))
        return r->low / 10000 * 10000 + digits_value(id + 1, 4);
    return -1;
}

/* ------------------------------------------------------------------------
 * float2int
 * ---------------------------------------------------------------------- */

int whole_mod_100(double a) {
    return static_cast<int>(a) % 100;
}

int positive_code(double a) {
    int c = static_cast<int>(std::trunc(std::log10(a) + 5));
    int e = c - 5;
    if (e < 0) {
        for (int step = e; step <= 1; ++step)
            a *= 10;
        return (c + 5) * 100 + whole_mod_100(a);
    }
    if (e == 0)
        return whole_mod_100(10 * a);
    for (int step = 1; step < e; ++step)
        a /= 10;
    return e * 100 + whole_mod_100(a);
}

} // namespace

/* ------------------------------------------------------------------------
 * Byte order
 * ---------------------------------------------------------------------- */

int swap_setup(int flag) {
    switch (flag) {
    case -1:
        swapping.on = false;
        break;
    case 1:
        swapping.on = host_is_little_endian();
        break;
    case 2:
        swapping.on = !host_is_little_endian();
        break;
    default:
        swapping.on = true;
    }
    return 0;
}

int swap_short(void *ptr) {
    return swap_values(ptr, 2, 1);
}

int swap_long(void *ptr) {
    return swap_values(ptr, 4, 1);
}

int swap_double(void *ptr) {
    return swap_values(ptr, 8, 1);
}

int swap_shorts(void *ptr, int num) {
    return swap_values(ptr, 2, num);
}

int swap_longs(void *ptr, int num) {
    return swap_values(ptr, 4, num);
}

int fread_short_swap(void *data, FILE *ifile) {
    return read_swapped(data, 2, ifile);
}

int fread_long_swap(void *data, FILE *ifile) {
    return read_swapped(data, 4, ifile);
}

int fread_double_swap(void *data, FILE *ifile) {
    return read_swapped(data, 8, ifile);
}

int fwrite_short_swap(void *data, FILE *ofile) {
    return write_swapped(data, 2, ofile);
}

int fwrite_long_swap(void *data, FILE *ofile) {
    return write_swapped(data, 4, ofile);
}

/* ------------------------------------------------------------------------
 * Numeric helpers
 * ---------------------------------------------------------------------- */

int fswap(float *x, float *y) {
    if (x != nullptr && y != nullptr)
        std::swap(*x, *y);
    return 0;
}

float linear_interp(float x, float x1, float x2, float y1, float y2) {
    if (x1 == x2)
        return y1;
    return (x - x1) * (y2 - y1) / (x2 - x1) + y1;
}

int float2int(float x) {
    if (x == 0 || !std::isfinite(x))
        return 0;
    int code = positive_code(std::fabs(static_cast<double>(x)));
    return x < 0 ? -code : code;
}

/* ------------------------------------------------------------------------
 * Station numbers and identifiers
 * ---------------------------------------------------------------------- */

int wmo_to_id(char *id, int wmo) {
    if (id == nullptr)
        return 0;
    const Range *r = range_of_number(wmo);
    constexpr size_t room = 6; /* the caller's guaranteed buffer */
    if (r == nullptr)
        std::snprintf(id, room, "%5.5d", wmo);
    else if (r->prefix[1] == '\0')
        std::snprintf(id, room, "%s%4.4d", r->prefix, wmo % 10000);
    else
        std::snprintf(id, room, "%s%3.3d", r->prefix, wmo % 1000);
    return 0;
}

int id_to_wmo(const char *id, int *wmo) {
    int scratch;
    int &out = wmo != nullptr ? *wmo : scratch;
    out = 99999;
    if (id == nullptr || std::strlen(id) != 5)
        return -1;
    if (all_digits(id, 5)) {
        out = digits_value(id, 5);
        return -1;
    }
    if (!is_letter(id[0]) || !all_digits(id + 2, 3))
        return -1;
    int number = number_of_identifier(id);
    if (number < 0)
        return -1;
    out = number;
    return 0;
}
