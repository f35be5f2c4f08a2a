/*
 * Tests of whole-line decoding in the station database reader: lines that
 * hold one regular record are split at once, every other line is scanned
 * field by field, and both must read the same records from the same
 * places.  Each database is written into a scratch directory of its own.
 */
#include "support.h"

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using kemtest::ScratchDir;

/* The records of a database holding `text`, and what CTY_read answered
   for each. */
struct Records {
    std::vector<CTY_data> recs;
    std::vector<int> counts;
};

Records read_text(const std::string &text) {
    ScratchDir s;
    Records out;
    int fd = CTY_open(s.write("x.cty", text).c_str(), 0, 0);
    CTY_data rec;
    for (int n; fd >= 0 && out.recs.size() < 10000 && (n = CTY_read(fd, &rec)) > 0;) {
        out.recs.push_back(rec);
        out.counts.push_back(n);
    }
    CTY_close(fd);
    return out;
}

/* A word for a number field: one of the edge cases, or signs, digits,
   points and exponents in random order. */
std::string number_word(std::mt19937 &rng) {
    static const char *const kEdges[] = {"+",
                                         "-",
                                         ".",
                                         "-.",
                                         "+.",
                                         "5.",
                                         ".25",
                                         "-0",
                                         "1e5",
                                         "4.1.2",
                                         "--1",
                                         "1-",
                                         "12345678901234"};
    static const char *const kPieces[] = {"-", "+", ".", "0", "7", "41", "98765", "e", "E3", "x"};
    std::uniform_int_distribution<int> edge(0, std::size(kEdges) - 1),
        piece(0, std::size(kPieces) - 1), count(0, 4);
    int n = count(rng);
    if (n == 0)
        return kEdges[edge(rng)];
    std::string w;
    for (; n > 0; --n)
        w += kPieces[piece(rng)];
    return w;
}

std::string text_word(std::mt19937 &rng, int longest) {
    std::uniform_int_distribution<int> len(1, longest), letter(0, 25);
    std::string w;
    for (int i = len(rng); i > 0; --i)
        w += static_cast<char>('A' + letter(rng));
    return w;
}

bool same_record(const CTY_data &a, const CTY_data &b) {
    auto bits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    };
    return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.state, b.state) == 0 &&
           std::strcmp(a.region, b.region) == 0 && std::strcmp(a.id, b.id) == 0 &&
           a.prior == b.prior && a.mos == b.mos && a.ua == b.ua && bits(a.lat) == bits(b.lat) &&
           bits(a.lon) == bits(b.lon) && bits(a.el) == bits(b.el) && a.wmo == b.wmo &&
           a.num == b.num;
}

} // namespace

TEST(CtyLine, IrregularLinesAmongRegularOnesKeepTheirPlace) {
    struct Case {
        const char *line;        /* read between two regular records */
        std::vector<int> counts; /* of every record read */
        const char *last_id;     /* of the record read last */
    } cases[] = {
        {"B IL US KB 3 41.98abc -87 1 2 3\n", {10, 6, 6, 10}, "KZ"},    /* number ends inside */
        {"B IL US KB 3 41 -87 1 2 3 4\n", {10, 10, 10, 1}, ""},         /* eleventh word */
        {"B IL US KB 3 41\n-87 1 2 3\n", {10, 10, 10}, "KZ"},           /* record across lines */
        {"B IL US ABCDEFGHIJKL 3 41 -87 1 2 3\n", {10, 10, 10, 1}, ""}, /* identifier too long */
        {"B IL US KB 3 4.1e 5 6 7 8\n", {10, 5, 5, 9}, "2"},         /* exponent without digits */
        {"B IL US KB 3 1e99 -1e-60 .5 +7 -0\n", {10, 10, 10}, "KZ"}, /* C conversion edges */
        {"B IL US KB 3 4.1.2 -87 1 2 3\n", {10, 10, 10, 1}, ""},     /* a second point */
        {"B IL US KB 3 41 -8-7 1 2 3\n", {10, 10, 10, 1}, ""},       /* a sign inside */
        {"B IL US KB 3 41 -87 1 2- 3\n", {10, 9, 10, 1}, ""},        /* a sign after */
        {"B IL US KB 3 41.123456 -87.1234 -.5 +2 3\n", {10, 10, 10}, "KZ"}, /* 9 and 8 bytes */
        {"B\tIL\vUS\fKB\r3 41 -87 1 2 3\n", {10, 10, 10}, "KZ"},            /* other white space */
    };
    for (const Case &c : cases) {
        Records read = read_text(std::string("A IL US KA 1 40 -80 100 1 1\n") + c.line +
                                 "Z IN US KZ 2 39 -86 210 2 2");
        EXPECT_EQ(read.counts, c.counts) << c.line;
        ASSERT_FALSE(read.recs.empty());
        EXPECT_STREQ(read.recs.back().id, c.last_id) << c.line;
    }
    Records read = read_text("B IL US KB 3 1e99 -1e-60 .5 +7 -0\n");
    ASSERT_EQ(read.counts, (std::vector<int>{10}));
    const CTY_data &rec = read.recs[0];
    EXPECT_EQ(rec.lat, HUGE_VALF);
    EXPECT_EQ(rec.lon, -0.0f);
    EXPECT_FLOAT_EQ(rec.el, 0.5f);
    EXPECT_EQ(rec.wmo, 7);
}

TEST(CtyLine, LinesAroundWholeChunksOf64BytesReadWhole) {
    /* The line is taken 64 bytes at a time: words across, and ending at,
       the ends of those chunks. */
    for (size_t len : {63, 64, 65, 100, 127, 128, 129, 200}) {
        std::string head = "Name IL US KB *3* 41.5 -87.25 201 72530";
        std::string line = head + std::string(len - head.size() - 5, ' ') + "12345";
        ASSERT_EQ(line.size(), len);
        for (const char *ending : {"\n", "\r\n", ""}) {
            Records read = read_text(line + ending);
            ASSERT_EQ(read.counts, (std::vector<int>{10})) << len;
            const CTY_data &rec = read.recs[0];
            EXPECT_EQ(rec.num, 12345) << len;
            EXPECT_EQ(rec.wmo, 72530) << len;
            EXPECT_FLOAT_EQ(rec.lon, -87.25f) << len;
            EXPECT_STREQ(rec.id, "KB") << len;
        }
    }
}

TEST(CtyLine, LineOfManyWordsIsScannedAcross) {
    std::string line;
    for (int i = 0; i < 64; ++i)
        line += "1 "; /* 32 words in each 64 bytes */
    EXPECT_EQ(read_text(line + "\n").counts, (std::vector<int>{10, 10, 10, 10, 10, 10, 4}));
}

TEST(CtyLine, LinesReadAsTheirWordsOnePerLine) {
    /* A line of ten words is decoded at once when it is regular; the same
       words one to a line are always scanned field by field.  Both must
       give the same records, whatever the words and the blanks. */
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> coin(0, 3), pad(0, 60), gap(0, 9), words(8, 11);
    std::string whole, apart;
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::string> w = {
            text_word(rng, coin(rng) ? 20 : 24), text_word(rng, coin(rng) ? 2 : 3),
            text_word(rng, 2), text_word(rng, coin(rng) ? 9 : 11), coin(rng) ? "*3*" : "12345"};
        for (int k = 0; k < 3; ++k)
            w.push_back(coin(rng) ? "-87.25" : number_word(rng));
        for (int k = 0; k < 2; ++k)
            w.push_back(coin(rng) ? "72530" : number_word(rng));
        w.resize(words(rng), "9");
        std::string line = std::string(coin(rng) == 0 ? pad(rng) : 0, ' ');
        for (const std::string &word : w) {
            line += word;
            if (&word != &w.back() || coin(rng) == 0) /* the last word often ends the line */
                line += (coin(rng) == 0 ? "\t " : " ") + std::string(coin(rng) ? 0 : gap(rng), ' ');
            apart += word + "\n";
        }
        whole += line + (coin(rng) == 0 ? "\r\n" : "\n");
    }
    Records read_whole = read_text(whole), read_apart = read_text(apart);
    const std::vector<CTY_data> &a = read_whole.recs, &b = read_apart.recs;
    ASSERT_EQ(read_whole.counts, read_apart.counts);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 2000u);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_TRUE(same_record(a[i], b[i])) << i << ": " << a[i].name << " " << a[i].id;
}
