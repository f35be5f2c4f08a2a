// Tests of the station location table: stations of a database stored by
// plot domain and priority, looked up by identifier, number or position,
// with blocks of the caller's attached.  The table is module state: every
// scenario runs in a child.
#include "support.h"

#include <sstream>

using kemtest::in_child;
using kemtest::ScratchDir;

namespace {

const std::string kFixture = std::string(KEM_TEST_DATA) + "/sao.cty";

/* A latitude-longitude domain holding the whole world. */
Domain world() {
    Domain d{};
    d.plat = d.plon = KEM_MISSING;
    for (float &p : d.param)
        p = KEM_MISSING;
    d.proj = 2;
    d.nx = 361;
    d.ny = 181;
    d.dx = d.dy = 1;
    return d;
}

/* Stations of odd shapes next to the fixture's kind. */
const char *kOdd = "Equator     -- XX ZERO  1   -0.04   -0.04  0 12001 1\n"
                   "Dashed      -- XX X-RAY 1   10.00   10.00  0 12345 2\n"
                   "Lower       -- XX abcd  1   20.00   20.00  0 12002 3\n"
                   "Unnumbered  -- XX NONE  1   30.00   30.00  0 99999 4\n"
                   "Buoy        -- B_ B1    1   40.00   40.00  0 12003 5\n";

int copy_id(CTY_data *city, void *block) {
    std::snprintf(static_cast<char *>(block), 8, "%.7s", city->id);
    return 0;
}

} // namespace

TEST(CtyStore, LookupsBeforeAnyStoreFindNothing) {
    in_child([] {
        CTY_locate loc;
        EXPECT_EQ(CTY_search("KORD", &loc), 0);
        EXPECT_EQ(CTY_search_loc(41.98f, -87.90f, &loc), 0);
        EXPECT_EQ(CTY_get_data("KORD"), nullptr);
        EXPECT_EQ(CTY_next_data(0), nullptr);
        EXPECT_EQ(CTY_make_entry_simple("KXYZ", "12345"), 0);
    });
}

TEST(CtyStore, KindOneByIdentifierAndNumberWithinPriority) {
    in_child([] {
        Domain d = world();
        ASSERT_GT(CTY_store(kFixture.c_str(), 1, &d, 3), 0);
        std::ifstream in(kFixture);
        std::string name, state, region, id, prior;
        int stations = 0, kept = 0;
        for (std::string line; std::getline(in, line); ++stations) {
            std::istringstream(line) >> name >> state >> region >> id >> prior;
            bool wanted = prior[prior[0] == '*'] <= '3';
            CTY_data city{};
            EXPECT_EQ(CTY_search(id.c_str(), &city), wanted ? 1 : 0) << id;
            kept += wanted;
        }
        EXPECT_EQ(CTY_get_table()->num_entry, kept);
        EXPECT_LT(kept, stations);
        CTY_data city{};
        ASSERT_EQ(CTY_search("72530", &city), 1); /* five digits: the number */
        EXPECT_STREQ(city.id, "KORD");
        ASSERT_EQ(CTY_search("EG772", &city), 1); /* through its number */
        EXPECT_STREQ(city.id, "EGLL");
        EXPECT_EQ(CTY_make_entry_simple("KXYZ", "12345"), 0);
        ASSERT_EQ(CTY_search("12345", &city), 1);
        EXPECT_STREQ(city.id, "KXYZ");
        CTY_clear();
    });
}

TEST(CtyStore, DashedIdentifiersByIdentifierKind) {
    ScratchDir s;
    std::string db = s.write("odd.cty", kOdd);
    struct Case {
        int id_type;
        const char *found, *located;
    } cases[] = {{0, "12345", "12345"}, {1, "12345", "12345"},   {2, "EP345", "EP345"},
                 {0, "b12003", "B1"},   {1, "b12003", "b12003"}, {1, "NONE", "NONE"}};
    for (const Case &c : cases)
        in_child([&] {
            CTY_set_id_type(c.id_type);
            Domain d = world();
            CTY_store(db.c_str(), 2, &d, 10);
            CTY_locate loc{};
            ASSERT_EQ(CTY_search(c.found, &loc), 1) << c.id_type << " " << c.found;
            EXPECT_STREQ(loc.id, c.located) << c.id_type;
            EXPECT_EQ(CTY_search("X-RAY", &loc), 0);
        });
}

TEST(CtyStore, LocationSearchRingsAndSigns) {
    ScratchDir s;
    std::string db = s.write("both.cty", kemtest::read_file(kFixture) + kOdd);
    in_child([&] {
        Domain d = world();
        CTY_store(db.c_str(), 3, &d, 10);
        CTY_locate loc{};
        ASSERT_EQ(CTY_search_loc(41.98f, -87.90f, &loc), 1); /* its own position */
        EXPECT_STREQ(loc.id, "KORD");
        EXPECT_NEAR(loc.x, 180 - 87.90, 1e-3);
        EXPECT_NEAR(loc.y, 90 + 41.98, 1e-3);
        ASSERT_EQ(CTY_search_loc(21.42f, -157.82f, &loc), 1); /* south-west corner */
        EXPECT_STREQ(loc.id, "PHNL");
        ASSERT_EQ(CTY_search_loc(0, 0, &loc), 1); /* just south-west of 0,0 */
        EXPECT_STREQ(loc.id, "ZERO");
        EXPECT_EQ(CTY_search_loc(-60, 0, &loc), 0);
        CTY_clear();
    });
}

/* Within the first ring that holds stations, the nearest by distance wins,
   wherever the probes meet it; the ring's far corners are searched too.
   Away from the equator a degree of longitude is shorter than one of
   latitude: at 60 degrees a station 0.2 degree east is nearer than one 0.2
   degree north or south, though both lie in one ring. */
TEST(CtyStore, LocationSearchTakesTheNearestOfItsRing) {
    ScratchDir s;
    std::string db = s.write("ring.cty",
                             "Probed_first  -- XX FIRST 1   10.10   10.00  0 12001 1\n"
                             "Nearer        -- XX NEAR  1    9.92   10.00  0 12002 2\n"
                             "Same_tenth_a  -- XX SAMEA 1   30.04   30.04  0 12003 3\n"
                             "Same_tenth_b  -- XX SAMEB 1   30.01   30.01  0 12004 4\n"
                             "North_east    -- XX CORNR 1   50.10   50.10  0 12005 5\n"
                             "North         -- XX NRTH  1   60.20 -100.00  0 12006 6\n"
                             "East          -- XX EAST  1   60.00  -99.80  0 12007 7\n"
                             "South         -- XX STH   1  -60.20   30.00  0 12008 8\n"
                             "East          -- XX ESTS  1  -60.00   30.20  0 12009 9\n");
    in_child([&] {
        Domain d = world();
        CTY_store(db.c_str(), 3, &d, 10);
        const struct {
            float lat, lon;
            const char *id;
        } cases[] = {
            {10.00f, 10.00f, "NEAR"},  /* 8.9 km against 11.1 km, found later */
            {30.00f, 30.00f, "SAMEB"}, /* two stations under one position */
            {50.00f, 50.00f, "CORNR"}, /* 0.1 degree south-west of the station */
            {60, -100, "EAST"},        /* 11.1 km east against 22.3 km north */
            {-60, 30, "ESTS"},
        };
        for (const auto &c : cases) {
            CTY_locate loc{};
            ASSERT_EQ(CTY_search_loc(c.lat, c.lon, &loc), 1) << c.id;
            EXPECT_STREQ(loc.id, c.id);
        }
        CTY_clear();
    });
}

TEST(CtyStore, AttachedBlocksAreFilledEmptiedAndFreed) {
    ScratchDir s;
    std::string db = s.write("both.cty", kemtest::read_file(kFixture) + kOdd);
    in_child([&] {
        CTY_data_size(8);
        CTY_enter_func(copy_id);
        Domain d = world();
        CTY_store(db.c_str(), 2, &d, 10);
        auto *block = static_cast<char *>(CTY_get_data("KORD"));
        ASSERT_NE(block, nullptr);
        EXPECT_STREQ(block, "KORD");
        EXPECT_STREQ(static_cast<char *>(CTY_get_data("72530")), "KORD");
        EXPECT_STREQ(static_cast<char *>(CTY_get_data("abcd")), "abcd"); /* not 99999 */
        int blocks = 0;
        for (void *b = CTY_next_data(0); b != nullptr; b = CTY_next_data(1))
            ++blocks;
        EXPECT_EQ(blocks, CTY_get_table()->num_entry);
        CTY_clear_data(1);
        for (void *b = CTY_next_data(0); b != nullptr; b = CTY_next_data(1))
            EXPECT_EQ(static_cast<char *>(b)[0], '\0');
        EXPECT_EQ(CTY_get_data("KORD"), block);
        CTY_clear_data(0);
        EXPECT_EQ(CTY_get_data("KORD"), nullptr);
        EXPECT_EQ(CTY_next_data(0), nullptr);
        CTY_clear();
    });
}

TEST(CtyStore, StoringAgainReplacesTheTable) {
    ScratchDir s;
    std::string tiny = s.write("tiny.cty", "T -- XX KTNY 1 1 1 0 12004 1\n"); /* < 59 bytes */
    in_child([&] {
        CTY_data_size(4);
        Domain d = world();
        CTY_store(kFixture.c_str(), 3, &d, 10);
        ASSERT_GT(CTY_store(tiny.c_str(), 1, &d, 10), 0);
        EXPECT_EQ(CTY_get_table()->num_entry, 1);
        CTY_data city{};
        EXPECT_EQ(CTY_search("KTNY", &city), 1);
        EXPECT_EQ(CTY_search("KORD", &city), 0);
        EXPECT_EQ(CTY_store(s.path("none.cty").c_str(), 2, &d, 10), 0);
        EXPECT_EQ(CTY_search("KTNY", &city), 1); /* left as it was */
        d.proj = 5;                              /* no transformation: nothing stored */
        EXPECT_GT(CTY_store(kFixture.c_str(), 1, &d, 10), 0);
        EXPECT_EQ(CTY_get_table()->num_entry, 0);
        CTY_clear();
    });
}

/* The location search looks 4.9 degrees out, in every direction and to
   the corners of its last ring, and no farther. */
TEST(CtyStore, LocationSearchReachesItsLastRing) {
    ScratchDir s;
    std::string db = s.write("lone.cty", "Lone -- XX LONE 1 20.00 20.00 0 12001 1\n");
    in_child([&] {
        Domain d = world();
        CTY_store(db.c_str(), 3, &d, 10);
        const struct {
            float lat, lon;
            int found;
        } cases[] = {{15.1f, 20, 1}, {24.9f, 20, 1},    {20, 15.1f, 1},
                     {20, 24.9f, 1}, {15.1f, 15.1f, 1}, {24.9f, 24.9f, 1},
                     {15.0f, 20, 0}, {20, 25.0f, 0},    {15.0f, 15.0f, 0}};
        for (const auto &c : cases) {
            CTY_locate loc{};
            EXPECT_EQ(CTY_search_loc(c.lat, c.lon, &loc), c.found) << c.lat << "," << c.lon;
        }
        CTY_clear();
    });
}

