// Tests of byte swapping, the numeric helpers and station-number codes.
#include "support.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

bool little_endian_host() {
    const uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

} // namespace

TEST(Swap, SetupDecidesWhetherLongsAreReversed) {
    const bool little = little_endian_host();
    struct Case {
        int flag;
        bool swaps;
    } cases[] = {{1, little}, {2, !little}, {-1, false}, {0, true}, {7, true}};
    for (const Case &c : cases) {
        swap_setup(c.flag);
        unsigned char b[4] = {1, 2, 3, 4};
        EXPECT_EQ(swap_long(b), c.swaps ? 0 : -1) << c.flag;
        unsigned char want[4] = {4, 3, 2, 1};
        if (!c.swaps)
            std::memcpy(want, "\1\2\3\4", 4);
        EXPECT_EQ(std::memcmp(b, want, 4), 0) << c.flag;
    }
    swap_setup(0);
}

TEST(Swap, ArraysAndWidths) {
    swap_setup(0);
    unsigned char s[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(swap_shorts(s, 3), 0);
    EXPECT_EQ(std::memcmp(s, "\2\1\4\3\6\5", 6), 0);
    unsigned char l[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(swap_longs(l, 2), 0);
    EXPECT_EQ(std::memcmp(l, "\4\3\2\1\10\7\6\5", 8), 0);
    EXPECT_EQ(swap_double(l), 0);
    EXPECT_EQ(std::memcmp(l, "\5\6\7\10\1\2\3\4", 8), 0);
    EXPECT_EQ(swap_short(nullptr), -1);
}

TEST(Swap, WriteLeavesTheCallersValueInFileOrderAndReadRestoresIt) {
    swap_setup(0);
    kemtest::ScratchDir s;
    std::string path = s.path("values");
    FILE *out = std::fopen(path.c_str(), "wb");
    int32_t value = 0x01020304, back = 0;
    EXPECT_EQ(fwrite_long_swap(&value, out), 1);
    std::fclose(out);
    EXPECT_EQ(value, 0x04030201);
    FILE *in = std::fopen(path.c_str(), "rb");
    double none = 1.5;
    EXPECT_EQ(fread_long_swap(&back, in), 1);
    EXPECT_EQ(fread_double_swap(&none, in), 0); /* end of file: untouched */
    std::fclose(in);
    EXPECT_EQ(back, 0x01020304);
    EXPECT_EQ(none, 1.5);
}

TEST(Numeric, Float2IntCodes) {
    struct Case {
        float x;
        int code;
    } cases[] = {{2.5f, 25}, {250, 225}, {2500, 325},  {-250, -225}, {0, 0},
                 {1, 10},    {10, 110},  {0.25f, 950}, {NAN, 0},     {INFINITY, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(float2int(c.x), c.code) << c.x;
}

TEST(Numeric, LinearInterpAndFswap) {
    EXPECT_FLOAT_EQ(linear_interp(5, 0, 10, 100, 200), 150);
    EXPECT_FLOAT_EQ(linear_interp(15, 0, 10, 100, 200), 250);
    EXPECT_FLOAT_EQ(linear_interp(3, 2, 2, 7, 9), 7); /* equal abscissas */
    float a = 1, b = 2;
    EXPECT_EQ(fswap(&a, &b), 0);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
}

TEST(StationNumber, WmoToId) {
    struct Case {
        int wmo;
        const char *id;
    } cases[] = {{72530, "K2530"}, {99999, "99999"}, {1384, "EN384"},  {27612, "U7612"},
                 {3772, "EG772"},  {10384, "ED384"}, {94767, "Y4767"}, {91520, "AG520"},
                 {71624, "CY624"}, {74486, "K4486"}, {500, "00500"},   {123456, "12345"},
                 {-5, "-0000"}};
    for (const Case &c : cases) {
        char id[6] = "xxxxx";
        EXPECT_EQ(wmo_to_id(id, c.wmo), 0);
        EXPECT_STREQ(id, c.id) << c.wmo;
    }
}

TEST(StationNumber, IdToWmo) {
    struct Case {
        const char *id;
        int result, wmo;
    } cases[] = {
        {"EN384", 0, 1384},    {"72530", -1, 72530}, {"KORD", -1, 99999}, {"K2530", 0, 72530},
        {"U7612", 0, 27612},   {"Y4767", 0, 94767},  {"EF123", 0, 2123},  {"EI960", 0, 3960},
        {"BI004", 0, 4004},    {"BG220", 0, 4220},   {"EK080", 0, 6080},  {"EH260", 0, 6260},
        {"EB447", 0, 6447},    {"EL590", 0, 6590},   {"LS660", 0, 6660},  {"EP375", 0, 12375},
        {"CY624", 0, 71624},   {"QQ123", -1, 99999}, {"UA12", -1, 99999}, {"U7A12", -1, 99999},
        {"EN3840", -1, 99999}, {"", -1, 99999}};
    for (const Case &c : cases) {
        int wmo = -1;
        EXPECT_EQ(id_to_wmo(c.id, &wmo), c.result) << c.id;
        EXPECT_EQ(wmo, c.wmo) << c.id;
    }
}

TEST(StationNumber, EveryIdentifierMadeConvertsBack) {
    int prefixed = 0;
    for (int n = 0; n < 100000; ++n) {
        char id[6];
        wmo_to_id(id, n);
        if (id[0] >= '0' && id[0] <= '9')
            continue;
        ++prefixed;
        int back = -1;
        ASSERT_EQ(id_to_wmo(id, &back), 0) << n << " " << id;
        ASSERT_EQ(back, n) << id;
    }
    EXPECT_GT(prefixed, 70000);
}

/* A range holds its first and its last number; the numbers just outside
   belong to the neighbouring range or to none. */
TEST(StationNumber, BothEndsOfARangeTakeItsPrefix) {
    struct Case {
        int wmo;
        const char *id;
    } cases[] = {{999, "00999"},   {1000, "EN000"},  {1499, "EN499"},  {1500, "01500"},
                 {2699, "ES699"},  {2700, "EF700"},  {29999, "U9999"}, {30000, "UI000"},
                 {59999, "Z9999"}, {83999, "S3999"}, {95999, "Y5999"}, {96000, "W6000"},
                 {98999, "RP999"}, {99000, "99000"}};
    for (const Case &c : cases) {
        char id[6] = "xxxxx";
        EXPECT_EQ(wmo_to_id(id, c.wmo), 0);
        EXPECT_STREQ(id, c.id) << c.wmo;
    }
}
