/*
 * Tests of the station database reader: record scanning, the priority
 * field, opening by resources, the station estimate and single-station
 * lookups.  Files are written into a scratch directory per test; scenarios
 * that set resources run in a child process.
 */
#include "support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using kemtest::Captured;
using kemtest::in_child;
using kemtest::ScratchDir;

const std::string kFixture = std::string(KEM_TEST_DATA) + "/sao.cty";

/* Opens `path` as the database and reads every record. */
std::vector<CTY_data> read_all(const std::string &path, std::vector<int> *counts = nullptr) {
    std::vector<CTY_data> out;
    int fd = CTY_open(path.c_str(), 0, 0);
    if (fd < 0)
        return out;
    CTY_data rec;
    int n;
    while ((n = CTY_read(fd, &rec)) > 0 && out.size() < 10000) {
        out.push_back(rec);
        if (counts != nullptr)
            counts->push_back(n);
    }
    CTY_close(fd);
    return out;
}

CTY_data read_one(const std::string &text, int *count) {
    ScratchDir s;
    int fd = CTY_open(s.write("one.cty", text).c_str(), 0, 0);
    CTY_data rec;
    std::memset(&rec, 'Z', sizeof rec);
    *count = CTY_read(fd, &rec);
    CTY_close(fd);
    return rec;
}

void expect_terminated(const CTY_data &rec) {
    EXPECT_LT(strnlen(rec.name, sizeof rec.name), sizeof rec.name);
    EXPECT_LT(strnlen(rec.state, sizeof rec.state), sizeof rec.state);
    EXPECT_LT(strnlen(rec.region, sizeof rec.region), sizeof rec.region);
    EXPECT_LT(strnlen(rec.id, sizeof rec.id), sizeof rec.id);
}

/* Does CTY_open_file(name) open a database whose first station is `id`? */
bool opens(const char *name, const char *id) {
    CTY_data rec{};
    int fd = CTY_open_file(name, nullptr);
    return fd >= 0 && CTY_read(fd, &rec) == 10 && std::strcmp(rec.id, id) == 0;
}

bool fd_is_open(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

} // namespace

TEST(CtyRead, FixtureReadsAsWholeRecords) {
    std::vector<int> counts;
    std::vector<CTY_data> all = read_all(kFixture, &counts);
    ASSERT_GE(all.size(), 40u);
    for (int n : counts)
        EXPECT_EQ(n, 10);
    const CTY_data &ord = all[0];
    EXPECT_STREQ(ord.name, "Chicago");
    EXPECT_STREQ(ord.state, "IL");
    EXPECT_STREQ(ord.region, "US");
    EXPECT_STREQ(ord.id, "KORD");
    EXPECT_EQ(ord.prior, 0);
    EXPECT_EQ(ord.mos, '*');
    EXPECT_EQ(ord.ua, '*');
    EXPECT_FLOAT_EQ(ord.lat, 41.98f);
    EXPECT_FLOAT_EQ(ord.lon, -87.90f);
    EXPECT_FLOAT_EQ(ord.el, 201.0f);
    EXPECT_EQ(ord.wmo, 72530);
    EXPECT_EQ(ord.num, 1);
}

TEST(CtyRead, StarsAroundDigitSetFlags) {
    ScratchDir s;
    std::string path = s.write("p.cty", "A IL US KAAA *3* 1 2 3 1 0\n"
                                        "B IL US KBBB 7 1 2 3 2 0\n"
                                        "C IL US KCCC *4 1 2 3 3 0\n"
                                        "D IL US KDDD 5* 1 2 3 4 0\n");
    std::vector<CTY_data> all = read_all(path);
    ASSERT_EQ(all.size(), 4u);
    const int prior[] = {3, 7, 4, 5};
    const char mos[] = {'*', ' ', '*', ' '};
    const char ua[] = {'*', ' ', ' ', '*'};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(all[i].prior, prior[i]) << i;
        EXPECT_EQ(all[i].mos, mos[i]) << i;
        EXPECT_EQ(all[i].ua, ua[i]) << i;
    }
}

TEST(CtyRead, PriorityWithoutDigitIsMissing) {
    ScratchDir s;
    std::string path = s.write("p.cty", "A IL US KAAA * 41.5 -87 200 1 0\n"
                                        "B IL US KBBB x* 41.5 -87 200 2 0\n"
                                        "C IL US KCCC ** 41.5 -87 200 3 0\n"
                                        "D IL US KDDD *a* 41.5 -87 200 4 0\n");
    std::vector<int> counts;
    std::vector<CTY_data> all = read_all(path, &counts);
    ASSERT_EQ(all.size(), 4u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(counts[i], 10);
        EXPECT_EQ(all[i].prior, KEM_MISSING) << i;
        EXPECT_FLOAT_EQ(all[i].lat, 41.5f) << i;
    }
    EXPECT_EQ(all[0].mos, '*');
    EXPECT_EQ(all[0].ua, ' ');
    EXPECT_EQ(all[1].mos, ' ');
    EXPECT_EQ(all[1].ua, '*');
    EXPECT_EQ(all[3].mos, '*');
    EXPECT_EQ(all[3].ua, '*');
}

TEST(CtyRead, OverlongPriorityFieldDropsItsRest) {
    int n = 0;
    CTY_data rec = read_one("A IL US KAAA *3*xyzzy-and-more 41.5 -87.25 200 72530 9\n", &n);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(rec.prior, 3);
    EXPECT_EQ(rec.mos, '*');
    EXPECT_EQ(rec.ua, '*');
    EXPECT_FLOAT_EQ(rec.lat, 41.5f);
    EXPECT_FLOAT_EQ(rec.lon, -87.25f);
    EXPECT_EQ(rec.wmo, 72530);
    EXPECT_EQ(rec.num, 9);
}

TEST(CtyRead, ElevationAbove9000IsMissing) {
    ScratchDir s;
    std::string path = s.write("e.cty", "A IL US KAAA 1 40 -80 9999 1 0\n"
                                        "B IL US KBBB 1 40 -80 9000 2 0\n"
                                        "C IL US KCCC 1 40 -80 9000.5 3 0\n");
    std::vector<CTY_data> all = read_all(path);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FLOAT_EQ(all[0].el, -9999.0f);
    EXPECT_FLOAT_EQ(all[1].el, 9000.0f);
    EXPECT_FLOAT_EQ(all[2].el, -9999.0f);
}

TEST(CtyRead, ScanRunsAcrossLineEndsAndBlankLines) {
    ScratchDir s;
    std::string path =
        s.write("x.cty", "\n\nChicago IL US KORD\n  *3* 41.98\n-87.90 201 72530 1\n\n\n"
                         "Gary IN US KGYY 6 41.62 -87.41 180 72527 5");
    std::vector<int> counts;
    std::vector<CTY_data> all = read_all(path, &counts);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(counts[0], 10);
    EXPECT_EQ(counts[1], 10);
    EXPECT_STREQ(all[0].id, "KORD");
    EXPECT_EQ(all[0].num, 1);
    EXPECT_STREQ(all[1].id, "KGYY");
    EXPECT_EQ(all[1].num, 5);
}

TEST(CtyRead, UnreadableFieldStopsTheRecordAndStartsTheNext) {
    ScratchDir s;
    /* The first record lacks its last number: the scan stops at "B". */
    std::string path = s.write("x.cty", "A IL US KAAA 3 41 -87 200 72530\n"
                                        "B IN US KBBB 4 40 -86 210 72438 7\n");
    std::vector<int> counts;
    std::vector<CTY_data> all = read_all(path, &counts);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(counts[0], 9);
    EXPECT_EQ(all[0].wmo, 72530);
    EXPECT_EQ(all[0].num, 0);
    EXPECT_EQ(counts[1], 10);
    EXPECT_STREQ(all[1].name, "B");
    EXPECT_EQ(all[1].num, 7);
}

TEST(CtyRead, RecordCutShortShowsOnlyWhatItHolds) {
    ScratchDir s;
    std::string path = s.write("x.cty", "Chicago IL US KORD *3* 41.98 -87.90 201 72530 1\n"
                                        "Short IN US");
    int fd = CTY_open(path.c_str(), 0, 0);
    ASSERT_GE(fd, 0);
    CTY_data rec;
    EXPECT_EQ(CTY_read(fd, &rec), 10);
    EXPECT_EQ(CTY_read(fd, &rec), 3);
    EXPECT_STREQ(rec.name, "Short");
    EXPECT_STREQ(rec.state, "IN");
    EXPECT_STREQ(rec.region, "US");
    EXPECT_STREQ(rec.id, "");
    EXPECT_EQ(rec.prior, KEM_MISSING);
    EXPECT_EQ(rec.mos, ' ');
    EXPECT_EQ(rec.ua, ' ');
    EXPECT_FLOAT_EQ(rec.lat, -9999.0f);
    EXPECT_FLOAT_EQ(rec.lon, -9999.0f);
    EXPECT_FLOAT_EQ(rec.el, -9999.0f);
    EXPECT_EQ(rec.wmo, KEM_MISSING);
    EXPECT_EQ(rec.num, 0);
    EXPECT_EQ(CTY_read(fd, &rec), -1);
    EXPECT_EQ(CTY_close(fd), 0);
}

TEST(CtyRead, OverlongTextFieldsAreCutAtTheirWidths) {
    int n = 0;
    CTY_data rec = read_one("ABCDEFGHIJKLMNOPQRSTUVWXY IL US KORD 3 41 -87 200 72530 0\n", &n);
    expect_terminated(rec);
    EXPECT_STREQ(rec.name, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_STREQ(rec.state, "UV"); /* the rest of the name goes on */
    EXPECT_STREQ(rec.region, "WX");
    EXPECT_STREQ(rec.id, "Y");

    rec = read_one("Name IL US ABCDEFGHIJKL 3 41.5 -87.5 200 72530\n", &n);
    expect_terminated(rec);
    EXPECT_EQ(n, 10);
    EXPECT_STREQ(rec.id, "ABCDEFGHI");
    EXPECT_EQ(rec.prior, KEM_MISSING); /* the field held "JKL" */
    EXPECT_FLOAT_EQ(rec.lat, 3.0f);
    EXPECT_EQ(rec.num, 72530);
}

TEST(CtyRead, GarbageNeverOverrunsOrHangs) {
    std::string junk;
    unsigned state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        junk += static_cast<char>((state >> 16) & 0xFF);
    }
    junk += " " + std::string(5000, '7') + " " + std::string(3000, 'x') + " ";
    junk += "A IL US KAAA 3 " + std::string(300, '1') + ".5 -87 1e 72530 0 ";
    junk += "A IL US KAAA 3 - . +e 99999999999999999999 -99999999999999999999";
    ScratchDir s;
    int fd = CTY_open(s.write("junk.cty", junk).c_str(), 0, 0);
    ASSERT_GE(fd, 0);
    CTY_data rec;
    int reads = 0;
    while (CTY_read(fd, &rec) > 0 && reads < 100000) {
        expect_terminated(rec);
        ++reads;
    }
    EXPECT_LT(reads, 100000);
    CTY_close(fd);

    int n = 0;
    rec = read_one("A IL US KAAA 3 40 -80 200 99999999999999999999 -99999999999999999999\n", &n);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(rec.wmo, 2147483647);
    EXPECT_EQ(rec.num, -2147483647 - 1);
}

TEST(CtyRead, NothingOpenAnswersMinusOne) {
    CTY_close(0);
    CTY_data rec;
    CTY_info info;
    EXPECT_EQ(CTY_read(0, &rec), -1);
    EXPECT_EQ(CTY_rewind(0), -1);
    EXPECT_EQ(CTY_getinfo(0, &info), -1);
    EXPECT_EQ(CTY_close(0), -1);
}

TEST(CtyOpen, AccessOtherThanReadOrWriteFails) {
    ScratchDir s;
    std::string path = s.path("new.cty");
    CTY_close(0);
    EXPECT_EQ(CTY_open(path.c_str(), 2, 0), -1);
    EXPECT_EQ(CTY_open(path.c_str(), -1, 0), -1);
    EXPECT_FALSE(std::filesystem::exists(path));
    CTY_data rec;
    EXPECT_EQ(CTY_read(0, &rec), -1);
    EXPECT_EQ(CTY_close(0), -1);
}

TEST(CtyOpen, WriteAccessCreatesTheFileAndKeepsItsType) {
    ScratchDir s;
    std::string path = s.path("sub/new.cty");
    int fd = CTY_open(path.c_str(), 1, 7);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    CTY_info info{};
    EXPECT_EQ(CTY_getinfo(fd, &info), 0);
    EXPECT_EQ(info.dtype, 7);
    EXPECT_EQ(CTY_close(fd), 0);
}

TEST(CtyOpen, SecondOpenClosesTheFirst) {
    ScratchDir s;
    std::string a = s.write("a.cty", "Alpha IL US KAAA 1 40 -80 100 1 0\n");
    std::string b = s.write("b.cty", "Beta IN US KBBB 2 41 -81 200 2 0\n");
    int fa = CTY_open(a.c_str(), 0, 0);
    ASSERT_GE(fa, 0);
    int fb = CTY_open(b.c_str(), 0, 0);
    EXPECT_EQ(fb, fa); /* the first descriptor was released and reused */
    CTY_data rec;
    EXPECT_EQ(CTY_read(fb, &rec), 10);
    EXPECT_STREQ(rec.name, "Beta");

    /* A failed open leaves nothing open either. */
    EXPECT_EQ(CTY_open(s.path("missing.cty").c_str(), 0, 0), -1);
    EXPECT_FALSE(fd_is_open(fb));
    EXPECT_EQ(CTY_read(fb, &rec), -1);
    EXPECT_EQ(CTY_close(fb), -1);
}

TEST(CtyOpen, GetinfoRewinds) {
    int fd = CTY_open(kFixture.c_str(), 0, 3);
    ASSERT_GE(fd, 0);
    CTY_data rec;
    CTY_read(fd, &rec);
    CTY_read(fd, &rec);
    EXPECT_STRNE(rec.id, "KORD");
    CTY_info info{};
    EXPECT_EQ(CTY_getinfo(fd, &info), 0);
    EXPECT_EQ(info.dtype, 3);
    EXPECT_EQ(CTY_read(fd, &rec), 10);
    EXPECT_STREQ(rec.id, "KORD");
    EXPECT_EQ(CTY_rewind(fd), 0);
    EXPECT_EQ(CTY_read(fd, &rec), 10);
    EXPECT_STREQ(rec.id, "KORD");
    CTY_close(fd);
}

TEST(CtyDataInit, EmptiesNamesAndMarksNumbersMissing) {
    CTY_data rec;
    std::memset(&rec, 'Z', sizeof rec);
    rec.prior = 4;
    EXPECT_EQ(CTY_data_init(&rec), 0);
    EXPECT_STREQ(rec.name, "");
    EXPECT_STREQ(rec.id, "");
    EXPECT_EQ(rec.wmo, KEM_MISSING);
    EXPECT_FLOAT_EQ(rec.lat, -9999.0f);
    EXPECT_FLOAT_EQ(rec.lon, -9999.0f);
    EXPECT_FLOAT_EQ(rec.el, -9999.0f);
    EXPECT_EQ(rec.prior, 4);
    EXPECT_EQ(rec.state[0], 'Z');
}

TEST(CtyOpenFile, EstimatesStationsFromFileSize) {
    ScratchDir s;
    struct Case {
        long size;
        int stations;
    } cases[] = {{590, 10}, {1000000, 4000}, {0, 0}, {58, 0}, {236000, 4000}, {235999, 3999}};
    for (const Case &c : cases) {
        std::string path = s.write("sized.cty", "");
        ASSERT_EQ(truncate(path.c_str(), c.size), 0);
        int num = -1;
        int fd = CTY_open_file(path.c_str(), &num);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(num, c.stations) << c.size;
        CTY_close(fd);
    }
}

TEST(CtyOpenFile, MissingFileWarns) {
    ScratchDir s;
    std::string path = s.path("nowhere.cty");
    Captured r = in_child([&] {
        int num = 0;
        EXPECT_EQ(CTY_open_file(path.c_str(), &num), -1);
    });
    EXPECT_NE(r.err.find("CTY_open_file: Database file not found: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/nowhere.cty"), std::string::npos) << r.err;
}

TEST(CtyOpenFile, CityFileNoneFailsSilently) {
    Captured r = in_child([] {
        RES_put("city_file", "NoNe");
        int num = 77;
        EXPECT_EQ(CTY_open_file(kFixture.c_str(), &num), -1);
        EXPECT_EQ(num, 77);
        CTY_data rec{};
        EXPECT_EQ(CTY_get(kFixture.c_str(), "KORD", &rec), 0);
    });
    EXPECT_EQ(r.err, "");
}

TEST(CtyOpenFile, ResourcesNameTheFile) {
    ScratchDir s;
    s.write("mine.cty", "Mine IL US KMIN 1 40 -80 100 1 0\n");
    s.write("arg.cty", "Arg IL US KARG 1 40 -80 100 1 0\n");
    in_child([&] {
        EXPECT_TRUE(opens(kFixture.c_str(), "KORD"));
        RES_put("file_path", s.dir().c_str());
        EXPECT_TRUE(opens("arg.cty", "KARG"));
        RES_put("city_file", ""); /* an empty value counts as unset */
        EXPECT_TRUE(opens("arg.cty", "KARG"));
        RES_put("city_file", "mine.cty");
        EXPECT_TRUE(opens("arg.cty", "KMIN"));
        RES_put("file_path", KEM_TEST_DATA);
        RES_put("city_file", nullptr);
        EXPECT_TRUE(opens(nullptr, "KORD")); /* the default name */
    });
}

TEST(CtyGet, FindsByNumberIdentifierOrName) {
    struct Case {
        const char *key;
        const char *id;
    } cases[] = {{"72530", "KORD"}, {"03772", "EGLL"},      {"kmdw", "KMDW"},
                 {"KsBn", "KSBN"},  {"SOUTH_BEND", "KSBN"}, {"springfield_il", "KSPI"},
                 {"99999", "KPNT"}, {"ilx", "ILX"}};
    for (const Case &c : cases) {
        CTY_data rec{};
        EXPECT_EQ(CTY_get(kFixture.c_str(), c.key, &rec), 1) << c.key;
        EXPECT_STREQ(rec.id, c.id) << c.key;
    }
    CTY_data rec{};
    EXPECT_EQ(CTY_get(kFixture.c_str(), "XXXX", &rec), 0);
    EXPECT_EQ(CTY_get(kFixture.c_str(), "3772", &rec), 0);  /* five digits or nothing */
    EXPECT_EQ(CTY_get(kFixture.c_str(), "Chica", &rec), 0); /* no prefixes here */
    EXPECT_EQ(CTY_read(0, &rec), -1);                       /* the database was closed */
}

TEST(CtyGet, MissingDatabaseFindsNothing) {
    ScratchDir s;
    CTY_data rec{};
    EXPECT_EQ(CTY_get(s.path("none.cty").c_str(), "KORD", &rec), 0);
    EXPECT_EQ(CTY_get(kFixture.c_str(), nullptr, &rec), 0);
}

TEST(CtyGetLoc, WritesPositionOnlyWhenFound) {
    float lat = 1.5f, lon = 2.5f;
    EXPECT_EQ(CTY_get_loc(kFixture.c_str(), "kord", &lat, &lon), 1);
    EXPECT_FLOAT_EQ(lat, 41.98f);
    EXPECT_FLOAT_EQ(lon, -87.90f);
    lat = 1.5f;
    lon = 2.5f;
    EXPECT_EQ(CTY_get_loc(kFixture.c_str(), "NOPE", &lat, &lon), 0);
    EXPECT_EQ(lat, 1.5f);
    EXPECT_EQ(lon, 2.5f);
}

TEST(CtyGetPrior, StatPriorResourceOrTen) {
    in_child([] {
        EXPECT_EQ(CTY_get_prior(), 10);
        RES_put("stat_prior", "3");
        EXPECT_EQ(CTY_get_prior(), 3);
    });
}

/* ------------------------------------------------------------------------
 * The block reader (whole lines split at once: test_cty_line.cpp)
 * ---------------------------------------------------------------------- */

TEST(CtyRead, RecordsAcrossBlockBoundariesReadWhole) {
    /* Lines of changing length, so that block ends fall inside records,
       their fields and their line ends. */
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "Station" + std::string(i % 13, 'x') + " IL US K" + std::to_string(i) + " " +
                std::string(i % 3, ' ') + "*3 41." + std::to_string(i % 100) + " -87.5 200 " +
                std::to_string(70000 + i) + " " + std::to_string(i) + (i % 7 ? "\n" : "\r\n");
    ASSERT_GT(text.size(), 2u * 65536);
    ScratchDir s;
    std::vector<int> counts;
    std::vector<CTY_data> all = read_all(s.write("big.cty", text), &counts);
    ASSERT_EQ(all.size(), 3000u);
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(counts[i], 10) << i;
        EXPECT_EQ(std::string(all[i].id), "K" + std::to_string(i)) << i;
        EXPECT_EQ(all[i].wmo, 70000 + i) << i;
        EXPECT_EQ(all[i].num, i) << i;
        EXPECT_FLOAT_EQ(all[i].lat, std::stof("41." + std::to_string(i % 100))) << i;
    }
}

TEST(CtyRead, SelectionPassesOverOnlyWholeLinesItRulesOut) {
    ScratchDir s;
    std::string path = s.write("x.cty", "A IN US KA 1 40 -80 100 1 1\n"
                                        "B IL US KB 1 40 -80 100 2 2\n"
                                        "C IL US\nKC 1 40 -80 100 3 3\n"
                                        "D IN US KD 1 40 -80 100 4 4");
    char st[] = "ST=IN";
    char *items[] = {st};
    CTY_select *sel = CTY_select_new(1, items);
    int fd = CTY_open(path.c_str(), 0, 0);
    CTY_data rec;
    std::vector<std::string> ids;
    while (CTY_read_select(fd, &rec, sel) > 0)
        ids.push_back(rec.id);
    CTY_close(fd);
    CTY_select_free(sel);
    /* The record across lines is scanned and handed on; B is passed over. */
    EXPECT_EQ(ids, (std::vector<std::string>{"KA", "KC", "KD"}));
}
