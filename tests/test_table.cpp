// Tests of the keyed hash table and the station location table.
#include "support.h"

#include <sstream>

using kemtest::in_child;
using kemtest::ScratchDir;

namespace {

const std::string kFixture = std::string(KEM_TEST_DATA) + "/sao.cty";

struct Rec {
    int n;
};

int value(void *rec) {
    return rec != nullptr ? static_cast<Rec *>(rec)->n : -1;
}

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

/* ---------------------------------------------------------------- keyed table */

TEST(Tab, DuplicateKeysFirstEnteredFirst) {
    TAB_table tab;
    TAB_init(&tab);
    ASSERT_EQ(TAB_create(&tab, 0, sizeof(Rec), 2), 0); /* no buckets asked: one made */
    Rec a{1}, b{2}, c{3};
    EXPECT_EQ(TAB_enter(&tab, &a, "KORD", "72530"), 0);
    EXPECT_EQ(TAB_enter(&tab, &b, "KMDW", "72534"), 0);
    EXPECT_EQ(TAB_enter(&tab, &c, "KORD", "72535"), 0);
    EXPECT_EQ(value(TAB_search(&tab, 1, "KORD")), 1);
    EXPECT_EQ(value(TAB_search(&tab, 2, "72535")), 3);
    void *found[4];
    ASSERT_EQ(TAB_searches(&tab, 1, "KORD", found, 4), 2);
    EXPECT_EQ(value(found[0]), 1);
    EXPECT_EQ(value(found[1]), 3);
    EXPECT_EQ(TAB_searches(&tab, 1, "KORD", found, 1), 1);
    EXPECT_EQ(TAB_search(&tab, 1, "kord"), nullptr); /* exact keys */
    TAB_first(&tab);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(value(TAB_next(&tab)), n);
    EXPECT_EQ(TAB_next(&tab), nullptr);
    TAB_clear(&tab);
}

TEST(Tab, KeyNumbersOutsideTheTableFindNothing) {
    TAB_table tab;
    TAB_init(&tab);
    ASSERT_EQ(TAB_create(&tab, 7, sizeof(Rec), 2), 0);
    Rec a{1};
    TAB_enter(&tab, &a, "K", "K");
    void *found[1];
    for (int keynum : {0, -1, 3, 5}) {
        EXPECT_EQ(TAB_search(&tab, keynum, "K"), nullptr) << keynum;
        EXPECT_EQ(TAB_searches(&tab, keynum, "K", found, 1), 0) << keynum;
    }
    EXPECT_EQ(TAB_search(nullptr, 1, "K"), nullptr);
    TAB_clear(&tab);
    EXPECT_EQ(TAB_create(&tab, 7, sizeof(Rec), 5), -1);
    EXPECT_EQ(TAB_enter(&tab, &a, "K", "K"), -1); /* the failed create left it empty */
    TAB_clear(&tab);
}

TEST(Tab, ClearLeavesAnEmptyTableThatCanBeCreatedAgain) {
    TAB_table tab;
    TAB_init(&tab);
    ASSERT_EQ(TAB_create(&tab, 3, sizeof(Rec), 1), 0);
    for (int n = 0; n < 20; ++n) {
        Rec r{n};
        TAB_enter(&tab, &r, std::to_string(n % 5).c_str());
    }
    TAB_first(&tab);
    TAB_next(&tab);
    EXPECT_EQ(TAB_clear(&tab), 0);
    EXPECT_EQ(TAB_search(&tab, 1, "1"), nullptr);
    EXPECT_EQ(TAB_next(&tab), nullptr); /* the cursor was on a freed record */
    EXPECT_EQ(TAB_clear(&tab), 0);
    ASSERT_EQ(TAB_create(&tab, 3, sizeof(Rec), 1), 0);
    Rec r{42};
    TAB_enter(&tab, &r, "1");
    EXPECT_EQ(value(TAB_search(&tab, 1, "1")), 42);
    TAB_clear(&tab);
}

/* ---------------------------------------------------------------- station table */

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
