/*
 * Tests of the resource store and the remembered command line.  The store
 * is process-wide: cases here use names of their own, and scenarios that
 * need an untouched store run in a child process.
 */
#include "support.h"

using namespace kemtest;

TEST(Resrc, NewReplacesValueKindAndIndex) {
    ASSERT_EQ(RES_new(3, "st_replace", "first", CV_int), 0);
    ASSERT_EQ(RES_new(7, "st_replace", "second", CV_strings), 0);
    EXPECT_STREQ(RES_get("st_replace"), "second");
    EXPECT_EQ(values_of("st_replace"), Items{"second"});
    EXPECT_EQ(RES_new(1, nullptr, "x", CV_string), -1);
}

TEST(Resrc, StoreKeepsOwnCopiesUnderExactNames) {
    char name[] = "st_Copy";
    char value[] = "abc";
    RES_put(name, value);
    name[0] = 'X';
    value[0] = 'X';
    EXPECT_STREQ(RES_get("st_Copy"), "abc");
    EXPECT_EQ(RES_get("st_copy"), nullptr);
}

TEST(Resrc, ResourceWithoutValueReadsAsEmptyText) {
    RES_new(KEM_MISSING, "st_novalue", nullptr, CV_string);
    EXPECT_STREQ(RES_get("st_novalue"), "");
    EXPECT_TRUE(values_of("st_novalue").empty());
    RES_put("st_empty", "");
    EXPECT_TRUE(values_of("st_empty").empty());
}

TEST(Resrc, NeverSetNameIsNullAndHasNoItems) {
    EXPECT_EQ(RES_get("st_never_set"), nullptr);
    int count = 5;
    char *dummy = nullptr;
    char **items = &dummy;
    EXPECT_EQ(RES_getvals("st_never_set", &count, &items), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(items, nullptr);
}

TEST(Resrc, AppendJoinsWithNewlineAndKeepsKindAndIndex) {
    RES_new(4, "st_append", nullptr, CV_strings); /* as the first run left it: empty */
    RES_append(4, "st_append", "one", CV_strings);
    RES_append(9, "st_append", "two,with,commas", CV_string);
    RES_append(9, "st_append", nullptr, CV_string);
    RES_append(9, "st_append", "three", CV_string);
    EXPECT_STREQ(RES_get("st_append"), "one\ntwo,with,commas\nthree");
    EXPECT_EQ(values_of("st_append"), (Items{"one", "two,with,commas", "three"}));

    RES_new(KEM_MISSING, "st_append_empty", nullptr, CV_string);
    RES_append(2, "st_append_empty", "only", CV_strings);
    EXPECT_STREQ(RES_get("st_append_empty"), "only");
}

/* Appends grow a value in place; replacing or appending to another
   record between them must never mix the values up. */
TEST(Resrc, ManyAppendsInterleavedWithOtherRecordsStayApart) {
    std::string a = "a0", b = "b0";
    RES_new(1, "st_grow_a", "a0", CV_strings);
    RES_new(1, "st_grow_b", "b0", CV_strings);
    for (int i = 1; i < 3000; ++i) {
        std::string word = std::to_string(i);
        RES_append(1, i % 3 ? "st_grow_a" : "st_grow_b", word.c_str(), CV_strings);
        (i % 3 ? a : b) += "\n" + word;
        if (i % 1000 == 0) {
            RES_new(1, "st_grow_a", "restart", CV_strings);
            a = "restart";
        }
    }
    EXPECT_EQ(RES_get("st_grow_a"), a);
    EXPECT_EQ(RES_get("st_grow_b"), b);
}

TEST(Resrc, GetvalsSplitsAtCommasUnlessStrings) {
    RES_put("st_commas", "a,,b,");
    EXPECT_EQ(values_of("st_commas"), (Items{"a", "", "b"}));
    RES_new(2, "st_lines", " a \nb,c\n", CV_strings);
    EXPECT_EQ(values_of("st_lines"), (Items{" a ", "b,c"}));
}

TEST(Resrc, GetvalConvertsTheStoredValue) {
    RES_put("st_number", "0x1F");
    int number = 0;
    EXPECT_EQ(RES_getval("st_number", &number, CV_int), 1);
    EXPECT_EQ(number, 31);
    EXPECT_EQ(RES_getval("st_number", nullptr, CV_int), 0);
    EXPECT_EQ(RES_getval("st_no_such_name", &number, CV_int), 0);

    RES_new(KEM_MISSING, "st_flag", nullptr, CV_bool);
    int flag = 0;
    EXPECT_EQ(RES_getval("st_flag", &flag, CV_bool), 1);
    EXPECT_EQ(flag, 1);
}

TEST(Resrc, ProgramNameDropsDirectories) {
    in_child([] {
        EXPECT_EQ(RES_get_prog(), nullptr);
        char arg0[] = "/usr/local/bin/kemcity";
        char *argv[] = {arg0, nullptr};
        EXPECT_EQ(RES_setCL(1, argv), 1);
        EXPECT_STREQ(RES_get_prog(), "/usr/local/bin/kemcity");
        char buf[KEM_PATH_MAX];
        EXPECT_EQ(RES_get_progname(buf), buf);
        EXPECT_STREQ(buf, "kemcity");
        char *owned = RES_get_progname(nullptr);
        EXPECT_STREQ(owned, "kemcity");
        std::free(owned);

        char bare[] = "kemcity";
        char *argv2[] = {bare, nullptr};
        RES_setCL(1, argv2);
        EXPECT_STREQ(RES_get_progname(buf), "kemcity");
    });
}

TEST(Resrc, LongProgramNameIsCutToAPathBuffer) {
    in_child([] {
        std::string path = "/bin/" + std::string(400, 'p');
        char *argv[] = {path.data(), nullptr};
        RES_setCL(1, argv);
        char buf[KEM_PATH_MAX];
        RES_get_progname(buf);
        EXPECT_EQ(std::strlen(buf), static_cast<size_t>(KEM_PATH_MAX - 1));
    });
}

TEST(Resrc, EnterFillsKeyedAndPositionalEntries) {
    RES_defobj obj{};
    EXPECT_EQ(RES_enter(&obj, RES_output), 1);
    EXPECT_STREQ(obj.def, "output");
    EXPECT_STREQ(obj.env, "kemout");
    EXPECT_STREQ(obj.cmd, "ou");
    EXPECT_EQ(obj.cvt, CV_string);
    EXPECT_EQ(obj.out, nullptr);
    EXPECT_EQ(obj.num, nullptr);
    EXPECT_EQ(RES_slot_of(&obj), 0);

    RES_enter(&obj, RES_values);
    EXPECT_STREQ(obj.def, "value");
    EXPECT_STREQ(obj.env, "kemvalue");
    EXPECT_EQ(obj.cvt, CV_strings);
    EXPECT_EQ(RES_slot_of(&obj), 10);

    RES_enter(&obj, RES_filename);
    EXPECT_EQ(obj.cvt, CV_strcpy);
    EXPECT_EQ(RES_slot_of(&obj), 1);

    RES_enter(&obj, RES_inputg);
    EXPECT_STREQ(obj.def, "input");
    EXPECT_STREQ(obj.cmd, "inp");
    RES_enter(&obj, RES_con_interval);
    EXPECT_STREQ(obj.cmd, "in");
    EXPECT_EQ(obj.cvt, CV_float);
}

TEST(Resrc, EnterOfUnknownCodePrintsItsNumberAndMatchesNothing) {
    RES_defobj obj{};
    std::string printed = capture_stdout([&] { EXPECT_EQ(RES_enter(&obj, RES_age), 1); });
    EXPECT_EQ(printed, "1\n");
    ASSERT_NE(obj.def, nullptr);
    EXPECT_STREQ(obj.def, "");
    EXPECT_EQ(RES_slot_of(&obj), 0);
}

TEST(Resrc, SlotOfNeverReadsASmallNumberAsText) {
    RES_defobj obj{};
    for (int slot = 1; slot <= 10; ++slot) {
        RES_fill_obj(&obj, "x", "kemx", RES_SLOT(slot), CV_string, nullptr, nullptr);
        EXPECT_EQ(RES_slot_of(&obj), slot);
    }
    RES_fill_obj(&obj, "x", "kemx", nullptr, CV_string, nullptr, nullptr);
    EXPECT_EQ(RES_slot_of(&obj), 0);
    EXPECT_EQ(RES_slot_of(nullptr), 0);
}
