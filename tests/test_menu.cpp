// Tests of numbered menus.  The answers reach the child through its real
// standard input, fed by a pipe.
#include "support.h"

#include <string>
#include <vector>

#include <unistd.h>

namespace {

using kemtest::in_child;

/* Makes a pipe holding `text` the standard input of this process. */
void feed_stdin(const std::string &text) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    dup2(fds[0], 0);
    close(fds[0]);
    clearerr(stdin);
}

/* A small menu: entry 0, two entries, a separator, one hidden entry. */
MENU_item small_menu[] = {{const_cast<char *>("Back to start"), const_cast<char *>("bk"), 0, {1}},
                          {const_cast<char *>("Alpha"), const_cast<char *>("a"), 7, {1}},
                          {const_cast<char *>("-"), const_cast<char *>("sep"), 8, {1}},
                          {const_cast<char *>("Hidden"), const_cast<char *>("h"), 9, {0, 1}},
                          {const_cast<char *>("Beta"), const_cast<char *>("b"), 10, {1}},
                          {nullptr, nullptr, 0, {0}}};

TEST(MenuPrint, OneColumnWithSeparatorAndTheFixedChoices) {
    const std::string items = "Title\n"
                              "  1: Alpha                         \n"
                              " --------------------               \n"
                              "  3: Beta                          \n";
    struct Case {
        int flag;
        std::string tail;
    } cases[] = {
        {0, ""},
        {MENU_EXIT, "  0: Exit program                  \n"},
        {MENU_RETURN, "  0: Back to start                 \n"},
        {MENU_EXIT | MENU_RETURN | MENU_HELP, " 99: Help                          \n"
                                              "  0: Back to start                 \n"
                                              " -1: Exit program                  \n"},
    };
    for (const Case &c : cases) {
        std::string out = kemtest::capture_stdout(
            [&] { EXPECT_EQ(MENU_print("Title", small_menu, 0, c.flag), 1); });
        EXPECT_EQ(out, items + c.tail + "\n") << c.flag;
    }
}

TEST(MenuProcess, AnswersAndLookups) {
    struct Case {
        const char *typed;
        int flag;
        int result;
        const char *string;
    } cases[] = {
        {"3", 0, 10, "b"},
        {"BETA", 0, 10, "b"},
        {"bk", 0, 0, "bk"},
        {"0", 0, KEM_MISSING, "0"},
        {"0", MENU_RETURN, 0, "0"},
        {"-1", MENU_EXIT, -1, "-1"},
        {"99", MENU_HELP, KEM_MISSING, "99"},
        {"main", MENU_RETURN, 0, "main"},
        {"h", 0, KEM_MISSING, "h"},
    };
    for (const Case &c : cases) {
        in_child([&] {
            MESS_set(0, 0); /* the menu itself is not looked at here */
            feed_stdin(std::string(c.typed) + "\n");
            char string[81] = "";
            EXPECT_EQ(MENU_process("T", small_menu, 0, "? ", string, c.flag), c.result) << c.typed;
            EXPECT_STREQ(string, c.string) << c.typed;
        });
    }
    EXPECT_EQ(MENU_search("ALPHA", small_menu), 7);
    EXPECT_EQ(MENU_search("h", small_menu), 9);
    EXPECT_EQ(MENU_search("zz", small_menu), KEM_MISSING);
    EXPECT_STREQ(MENU_get_abbr(10, small_menu), "b");
    EXPECT_EQ(MENU_get_abbr(11, small_menu), nullptr);
    EXPECT_EQ(MENU_check(9, small_menu, 0), 0);
    EXPECT_EQ(MENU_check(9, small_menu, 1), 1);
    EXPECT_EQ(MENU_check(9, small_menu, 10), 0);
}

} // namespace
