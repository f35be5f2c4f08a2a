// Tests of the keyed hash table.
#include "support.h"

namespace {

struct Rec {
    int n;
};

int value(void *rec) {
    return rec != nullptr ? static_cast<Rec *>(rec)->n : -1;
}

} // namespace

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

/* A table takes up to four keys, and a record is found by each of them,
   the last included. */
TEST(Tab, FourKeysEachFindTheRecord) {
    TAB_table tab;
    TAB_init(&tab);
    ASSERT_EQ(TAB_create(&tab, 7, sizeof(Rec), 4), 0);
    Rec a{1}, b{2};
    ASSERT_EQ(TAB_enter(&tab, &a, "KORD", "72530", "4198-879", "O'Hare"), 0);
    ASSERT_EQ(TAB_enter(&tab, &b, "KMDW", "72534", "4179-877", "Midway"), 0);
    const char *keys[] = {"KMDW", "72534", "4179-877", "Midway"};
    for (int keynum = 1; keynum <= 4; ++keynum)
        EXPECT_EQ(value(TAB_search(&tab, keynum, keys[keynum - 1])), 2) << keynum;
    EXPECT_EQ(TAB_search(&tab, 4, "KMDW"), nullptr); /* keys of one number only */
    TAB_clear(&tab);
}
