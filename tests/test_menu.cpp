// Tests of numbered menus and the region prompt.  The answers reach the
// child through its real standard input, fed by a pipe.
#include "support.h"

#include <string>
#include <vector>

#include <unistd.h>

namespace {

using kemtest::Captured;
using kemtest::count_of;
using kemtest::in_child;
using kemtest::run_in_child;
using kemtest::ScratchDir;

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

/* Thirteen listed regions r01..r13 centred on latitudes 1..13, one more
   that is loaded but not listed, and one left out. */
std::string thirteen_regions() {
    std::string text;
    for (int i = 1; i <= 13; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "r%02d Region_%02d 1 ps,%d,-90\n", i, i, i);
        text += line;
    }
    return text + "hid Hidden 2 ps,50,0\nout Out 0 ps,60,0\n";
}

const std::string region_menu =
    "\n        Region Menu\n\n"
    "  1: Region 01                        8: Region 08                     \n"
    "  2: Region 02                        9: Region 09                     \n"
    "  3: Region 03                       10: Region 10                     \n"
    "  4: Region 04                       11: Region 11                     \n"
    "  5: Region 05                       12: Region 12                     \n"
    "  6: Region 06                       13: Region 13                     \n"
    "  7: Region 07                     \n"
    "  0: Return to previous menu         -1: Exit program                  \n"
    "\n"
    "Enter the region: ";

struct RegionPrompt {
    ScratchDir dir;
    RegionPrompt() { dir.write("kem.reg", thirteen_regions()); }

    /* DOM_prompt_region with `input` typed; the child prints the result
       and the centre after a "=>" mark. */
    Captured run(const std::string &input, int flag = 0) const {
        return run_in_child([&] {
            MESS_set(0, M_warn);
            RES_put("file_path", dir.dir().c_str());
            feed_stdin(input);
            Domain d;
            DOM_init(&d);
            int result = DOM_prompt_region(&d, flag);
            std::printf("=> %d %d %g\n", result, d.proj, static_cast<double>(d.clat));
        });
    }
};

TEST(RegionPrompt, ThirteenRegionsInTwoColumnsOfSevenRows) {
    RegionPrompt prompt;
    Captured run = prompt.run("2\n");
    EXPECT_EQ(run.out, region_menu + "=> 2 1 2\n");
    EXPECT_EQ(run.status, 0);
}

TEST(RegionPrompt, AnswersByNumberWordOrDomainString) {
    struct Case {
        const char *input;
        int status;
        const char *tail; /* the end of standard output */
        size_t menus;     /* times the menu was shown */
    } cases[] = {
        {"0\n", 0, "=> 0 -9999 -9999\n", 1},
        {"-1\n", 0, "Enter the region: ", 1},   /* ends the program */
        {"exit\n", 0, "Enter the region: ", 1}, /* ends the program */
        {"", 1, "Enter the region: ", 1},       /* input ended */
        {"R05\n", 0, "=> 2 1 5\n", 1},
        {"40,-100\n", 0, "=> 1 1 40\n", 1},
        {"zz\n", 0, "=> 2 -1 -9999\n", 1},
        {"-\n", 0, "=> 2 -1 -9999\n", 1},
        {"14\n", 0, "=> 2 -1 -9999\n", 1},
        {"hid\n", 0, "=> 2 1 50\n", 1}, /* loaded, not listed: decoded from the file */
        {"list\n3\n", 0, "=> 2 1 3\n", 2},
        {"?\n3\n", 0, "Enter the region: => 2 1 3\n", 1},
        {"a,1,2\na,1,2\na,1,2\na,1,2\na,1,2\n1\n", 0, "=> -1 1 -9999\n", 5},
    };
    RegionPrompt prompt;
    for (const Case &c : cases) {
        Captured run = prompt.run(c.input);
        EXPECT_EQ(run.status, c.status) << c.input;
        std::string tail = c.tail;
        EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), tail.size())), tail)
            << c.input;
        EXPECT_EQ(count_of(run.out, "Region Menu"), c.menus) << c.input;
    }
    EXPECT_EQ(count_of(prompt.run("?\n3\n").out,
                       "back,r01,r02,r03,r04,r05,r06,r07,r08,r09,r10,r11,r12,r13\n\n"),
              1u);
    EXPECT_EQ(count_of(prompt.run("list\n3\n").out, "r13      Region_13"), 1u);
    EXPECT_EQ(count_of(prompt.run("a,1,2\na,1,2\na,1,2\na,1,2\na,1,2\n").err, "Invalid domain\n"),
              5u);
}

TEST(RegionPrompt, ResourcesAndBatchModeAskNothing) {
    RegionPrompt prompt;
    Captured batch = run_in_child([&] {
        RES_put("file_path", prompt.dir.dir().c_str());
        FLAG_set_batch(1);
        Domain d;
        EXPECT_EQ(DOM_prompt_region(&d, 0), 2); /* the first region of kem.reg */
        EXPECT_FLOAT_EQ(d.clat, 1);
        EXPECT_EQ(DOM_prompt_region(&d, 0), 0); /* found already */
        DOM_set_prompt_region(1);
        RES_put("region", "r04");
        EXPECT_EQ(DOM_prompt_region(&d, 0), 2);
        EXPECT_FLOAT_EQ(d.clat, 4);
        DOM_set_prompt_region(1);
        RES_put("plot_domain", "bogus,1,2");
        return DOM_prompt_region(&d, 1);
    });
    EXPECT_EQ(batch.status, 43);
    EXPECT_EQ(batch.out, "");
    EXPECT_EQ(count_of(batch.err, "Invalid domain\n"), 1u);
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
