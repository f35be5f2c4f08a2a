/*
 * Tests of the resource store and the remembered command line.  The store
 * is process-wide: cases here use names of their own, and scenarios that
 * need an untouched store run in a child process.
 */
#include "kem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

/* Runs `body` in a forked child; the test fails when any check there fails. */
template <class Body> void in_child(Body body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        std::fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child scenario failed";
}

std::vector<std::string> values_of(const char *name)
{
    int count = -1;
    char **items = reinterpret_cast<char **>(1);
    int n = RES_getvals(name, &count, &items);
    std::vector<std::string> out;
    EXPECT_EQ(n, count);
    for (int i = 0; i < count; ++i)
        out.emplace_back(items[i]);
    free_parsed_array(count, items);
    return out;
}

using Items = std::vector<std::string>;

} // namespace

TEST(Resrc, NewReplacesValueKindAndIndex)
{
    ASSERT_EQ(RES_new(3, "st_replace", "first", CV_int), 0);
    ASSERT_EQ(RES_new(7, "st_replace", "second", CV_strings), 0);
    EXPECT_STREQ(RES_get("st_replace"), "second");
    EXPECT_EQ(values_of("st_replace"), Items{"second"});
    EXPECT_EQ(RES_new(1, nullptr, "x", CV_string), -1);
}

TEST(Resrc, NamesAreComparedExactly)
{
    RES_put("st_Case", "upper");
    EXPECT_EQ(RES_get("st_case"), nullptr);
    EXPECT_STREQ(RES_get("st_Case"), "upper");
}

TEST(Resrc, StoreKeepsItsOwnCopies)
{
    char name[] = "st_copy";
    char value[] = "abc";
    RES_put(name, value);
    name[0] = 'X';
    value[0] = 'X';
    EXPECT_STREQ(RES_get("st_copy"), "abc");
}

TEST(Resrc, ResourceWithoutValueReadsAsEmptyText)
{
    RES_new(KEM_MISSING, "st_novalue", nullptr, CV_string);
    EXPECT_STREQ(RES_get("st_novalue"), "");
    EXPECT_TRUE(values_of("st_novalue").empty());
    RES_put("st_empty", "");
    EXPECT_TRUE(values_of("st_empty").empty());
}

TEST(Resrc, NeverSetNameIsNullAndHasNoItems)
{
    EXPECT_EQ(RES_get("st_never_set"), nullptr);
    int count = 5;
    char **items = reinterpret_cast<char **>(1);
    EXPECT_EQ(RES_getvals("st_never_set", &count, &items), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(items, nullptr);
}

TEST(Resrc, AppendJoinsWithNewlineAndKeepsKindAndIndex)
{
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

TEST(Resrc, GetvalsSplitsAtCommasUnlessStrings)
{
    RES_put("st_commas", "a,,b,");
    EXPECT_EQ(values_of("st_commas"), (Items{"a", "", "b"}));
    RES_new(2, "st_lines", " a \nb,c\n", CV_strings);
    EXPECT_EQ(values_of("st_lines"), (Items{" a ", "b,c"}));
}

TEST(Resrc, GetvalConvertsTheStoredValue)
{
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

TEST(Resrc, ProgramNameDropsDirectories)
{
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

TEST(Resrc, LongProgramNameIsCutToAPathBuffer)
{
    in_child([] {
        std::string path = "/bin/" + std::string(400, 'p');
        char *argv[] = {path.data(), nullptr};
        RES_setCL(1, argv);
        char buf[KEM_PATH_MAX];
        RES_get_progname(buf);
        EXPECT_EQ(std::strlen(buf), static_cast<size_t>(KEM_PATH_MAX - 1));
    });
}

TEST(Resrc, FillObjSetsEveryField)
{
    RES_defobj obj{};
    int count = 0;
    char *out = nullptr;
    EXPECT_EQ(RES_fill_obj(&obj, "res", "kemres", "rs", CV_float, &out, &count), 1);
    EXPECT_STREQ(obj.def, "res");
    EXPECT_STREQ(obj.env, "kemres");
    EXPECT_STREQ(obj.cmd, "rs");
    EXPECT_EQ(obj.cvt, CV_float);
    EXPECT_EQ(obj.out, &out);
    EXPECT_EQ(obj.num, &count);
}
