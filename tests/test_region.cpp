// Tests of regions: the built-in regions, region files, the region menu,
// and the region taken from the resources or asked for.  Each scenario runs
// in a child with a scratch directory as its file path, so that the region
// file "kem.reg" and the menu start fresh; the answers to the region
// prompt are the child's standard input.
#include "support.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

using kemtest::Captured;
using kemtest::count_of;
using kemtest::in_child;
using kemtest::run_in_child;
using kemtest::ScratchDir;

/* A scratch directory made the file path of a child scenario that prints
   only print, error and warn messages. */
struct RegionFiles {
    ScratchDir dir;
    void enter() const {
        MESS_set(0, M_warn);
        RES_put("file_path", dir.dir().c_str());
    }
};

TEST(DomGetDefRegion, VariableRegionAsksForItsCentre) {
    auto run = in_child(
        [] {
            MESS_set(0, M_warn);
            Domain d;
            EXPECT_EQ(DOM_get_def_region("VAR", &d), 1);
            EXPECT_FLOAT_EQ(d.clat, 45);
            EXPECT_FLOAT_EQ(d.plon, -90);
            EXPECT_EQ(FLAG_get(5), 1);
            EXPECT_EQ(DOM_get_def_region("usa", &d), 0);
            EXPECT_EQ(d.proj, 1);
            EXPECT_FLOAT_EQ(d.clat, KEM_MISSING);
        },
        "45\n-90\n");
    EXPECT_EQ(run.out, "Enter the central latitude: Enter the central longitude: ");
}

TEST(DomSearchFile, FindsByAbbreviationUpToTheFirstBlankLine) {
    const std::string long_word(100, 'w'), cut = long_word.substr(0, 79);
    struct Case {
        const char *file;
        const char *str;
        int found;
        std::string domstr;
    } cases[] = {
        {"a.reg", "ne", 1, "ps,42,-76,0.9"},
        {"a.reg", "NE", 1, "ps,42,-76,0.9"},
        {"a.reg", "se", 1, "ps,31,-88"},
        {"a.reg", nullptr, 1, "ps,42,-76,0.9"},
        {"a.reg", "far", 0, ""},
        {"a.reg", "a", 0, ""},
        {"a.reg", "xx", 0, ""},
        {"bare.reg", "ne", 1, "lc,40,-100"},
        {"long.reg", cut.c_str(), 1, cut},
        {"none.reg", "ne", 0, ""},
    };
    RegionFiles scratch;
    /* the comment's part past 500 characters is no line of its own */
    scratch.dir.write("a.reg", "#" + std::string(499, ' ') +
                                   "a A 1 ps,9,9\n"
                                   "ne New_England 1 ps,42,-76,0.9\n"
                                   "se South 1 ps,31,-88\n\nfar Far 1 ps,0,0\n");
    scratch.dir.write("bare.reg", "lc,40,-100\nne New_England 1 ps,42,-76,0.9\n");
    scratch.dir.write("long.reg", long_word + " Long 1 " + long_word + "\n");
    in_child([&] {
        scratch.enter();
        for (const Case &c : cases) {
            char domstr[80] = "";
            EXPECT_EQ(DOM_search_file(c.file, c.str, domstr), c.found) << c.file << c.str;
            EXPECT_EQ(domstr, c.domstr) << c.file << c.str;
        }
    });
}

TEST(DomReadMenu, FlagsAndFieldWidths) {
    RegionFiles scratch;
    scratch.dir.write("kem.reg", "ne New_England 1 ps,42,-76,0.9\n"
                                 "zero Hidden 0 ps,1,2\n"
                                 "bad Bad_flag - ps,5,6\n"
                                 "two Loaded 2 ps,1,2\n"
                                 "lc,40,-100\n" /* a bare domain string: no pair listed */
                                 "toolongabbr A_description_longer_than_twenty 1 ps,3,4\n");
    auto run = in_child([&] {
        scratch.enter();
        EXPECT_EQ(DOM_read_menu("missing.reg"), 0);
        EXPECT_STREQ(DOM_get_region_name(1), "Contiguous US"); /* kept without a file */
        EXPECT_EQ(DOM_read_menu("kem.reg"), 1);
        EXPECT_STREQ(DOM_get_region_name(1), "New England");
        EXPECT_STREQ(DOM_get_region_name(2), "Loaded");
        EXPECT_STREQ(DOM_get_region_name(3), "A description longer");
        EXPECT_EQ(DOM_get_region_name(4), nullptr);
        EXPECT_EQ(DOM_get_region_name(99), nullptr);
        DOM_print_file("kem.reg");
    });
    EXPECT_EQ(run.out, " Abbr    Description\n"
                       "ne       New_England" +
                           std::string(39, ' ') +
                           "\n"
                           "zero     Hidden" +
                           std::string(44, ' ') +
                           "\n"
                           "bad      Bad_flag" +
                           std::string(42, ' ') +
                           "\n"
                           "two      Loaded" +
                           std::string(44, ' ') +
                           "\n"
                           "toolongabbr A_description_longer_than_twenty" +
                           std::string(18, ' ') + "\n");
}

TEST(DomGetRegion, ResourcesInTheirOrder) {
    RegionFiles scratch;
    scratch.dir.write("kem.reg", "mw Midwest 1 ps,43,-93,1.1\nne New_England 1 ps,42,-76\n");
    in_child([&] {
        scratch.enter();
        Domain d;
        EXPECT_EQ(DOM_get_region(&d, 2), 0);
        EXPECT_EQ(DOM_get_region(&d, 4), 2); /* the first region of kem.reg */
        EXPECT_FLOAT_EQ(d.clat, 43);
        EXPECT_EQ(DOM_get_grid_domain(&d), 0);
        RES_put("plot_domain", "ps,10,20");
        RES_put("region", "ne");
        EXPECT_EQ(DOM_get_region(&d, 1), 1);
        EXPECT_FLOAT_EQ(d.clat, 10);
        EXPECT_EQ(DOM_get_region(&d, 2), 2);
        EXPECT_FLOAT_EQ(d.clat, 42);
        EXPECT_EQ(DOM_get_grid_domain(&d), 2);
        RES_put("grid_domain", "ll,5,6");
        EXPECT_EQ(DOM_get_grid_domain(&d), 1);
        EXPECT_EQ(d.proj, 2);
    });
}

/* A region file may be anyone's: no text of it may reach a pipe, by a
   menu abbreviation ("|./a:" reads the menu file "|./a"), a file item or
   a domain, whether the region is the first of the menu, chosen from it
   or named. */
TEST(DomReadMenu, TextsThatCouldRunACommandAreRefusedOnEveryPath) {
    RegionFiles scratch;
    std::string script = scratch.dir.write("a", "#!/bin/sh\necho ran >&2\ntouch ran\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    std::string reg = scratch.dir.write("kem.reg", "|./a: Evil 1 ps,1,2\n"
                                                   "fi Fi 1 fi:|./a\n"
                                                   "st Station 1 id:|./a:KORD\n"
                                                   "mw Midwest 1 ps,43,-93,1.1\n");
    auto run = run_in_child(
        [&] {
            scratch.enter();
            if (chdir(scratch.dir.dir().c_str()) != 0)
                return 1;
            Domain d;
            EXPECT_EQ(DOM_get_region(&d, 4), 2); /* the first region left: Midwest */
            EXPECT_FLOAT_EQ(d.clat, 43);
            EXPECT_STREQ(DOM_get_region_name(1), "Midwest");
            EXPECT_EQ(DOM_get_region_name(2), nullptr);
            for (const char *name : {"fi", "st", "kem.reg:fi", "fi:kem.reg"})
                DOM_decode(name, &d);
            FLAG_set_batch(1); /* the menu read once: the first region left again */
            EXPECT_EQ(DOM_prompt_region(&d, 0), 2);
            return 0;
        });
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(std::filesystem::exists(scratch.dir.path("ran")));
    EXPECT_EQ(count_of(run.err, "ran"), 0u);
    EXPECT_EQ(count_of(run.err, "DOM_read_menu: " + reg + ": region |./a: refused, it could run a command\n"), 1u);
    EXPECT_EQ(count_of(run.err, "DOM_read_menu: " + reg + ": region fi refused, it could run a command\n"), 1u);
    EXPECT_EQ(count_of(run.err, "DOM_read_menu: " + reg + ": region st refused, it could run a command\n"), 1u);
    EXPECT_EQ(count_of(run.err, "domain fi:|./a refused"), 2u);
    EXPECT_EQ(count_of(run.err, "domain id:|./a:KORD refused"), 1u);
}

/* As a defaults file, a region file is read only when nobody but the
   user or root could have written it. */
TEST(DomReadMenu, RegionFileOfAnotherUserIsSkipped) {
    KEMTEST_NEEDS_ROOT();
    RegionFiles scratch;
    std::string reg = scratch.dir.write("kem.reg", "mw Midwest 1 ps,43,-93,1.1\n");
    ASSERT_EQ(chown(reg.c_str(), kemtest::user_a, kemtest::user_a), 0);
    const std::string why = " skipped: it belongs to uid " + std::to_string(kemtest::user_a) +
                            ", neither you nor root\n";
    auto run = in_child([&] {
        scratch.enter();
        Domain d;
        EXPECT_EQ(DOM_get_region(&d, 4), 2); /* the built-in Contiguous US */
        EXPECT_FLOAT_EQ(d.clat, 39);
        char domstr[80] = "";
        EXPECT_EQ(DOM_search_file("kem.reg", "mw", domstr), 0);
    });
    EXPECT_EQ(run.err, "DOM_read_menu: " + reg + why + "DOM_search_file: " + reg + why +
                           "DOM_search_file: " + reg + why);
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
    RegionFiles files;
    RegionPrompt() { files.dir.write("kem.reg", thirteen_regions()); }

    /* DOM_prompt_region with `input` typed; the child prints the result
       and the centre after a "=>" mark. */
    Captured run(const std::string &input, int flag = 0) const {
        return run_in_child(
            [&] {
                files.enter();
                Domain d;
                DOM_init(&d);
                int result = DOM_prompt_region(&d, flag);
                std::printf("=> %d %d %g\n", result, d.proj, static_cast<double>(d.clat));
            },
            input);
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
        RES_put("file_path", prompt.files.dir.dir().c_str());
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

} // namespace

/* A region file fills the menu up to its nineteenth entry, the last the
   menu holds; a twentieth is left out. */
TEST(DomReadMenu, TheNineteenthEntryIsTheLast) {
    RegionFiles scratch;
    std::string file;
    for (int i = 1; i <= 20; ++i)
        file += "r" + std::to_string(i) + " Region_" + std::to_string(i) + " 1 ps,40,-100\n";
    scratch.dir.write("kem.reg", file);
    in_child([&] {
        scratch.enter();
        ASSERT_EQ(DOM_read_menu("kem.reg"), 1);
        EXPECT_STREQ(DOM_get_region_name(1), "Region 1");
        EXPECT_STREQ(DOM_get_region_name(19), "Region 19");
        EXPECT_EQ(DOM_get_region_name(20), nullptr);
    });
}

/* Reading a region file, however often, leaves no file open. */
TEST(DomSearchFile, RegionFilesAreClosedAfterEveryReading) {
    RegionFiles scratch;
    scratch.dir.write("kem.reg", "ne New_England 1 ps,42,-76,0.9\n");
    in_child([&] {
        scratch.enter();
        const int before = kemtest::open_descriptors();
        char domstr[80];
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(DOM_search_file("kem.reg", "ne", domstr), 1);
            EXPECT_EQ(DOM_search_file("kem.reg", "none", domstr), 0);
            EXPECT_EQ(DOM_read_menu("kem.reg"), 1);
            kemtest::capture_stdout([] { DOM_print_file("kem.reg"); });
        }
        EXPECT_EQ(kemtest::open_descriptors(), before);
    });
}
