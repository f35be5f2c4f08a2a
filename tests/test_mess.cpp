// Tests of the levelled message output.
//
// The message state is process-wide.  Scenarios that print run in a forked
// child with their standard streams captured; scenarios that need the start-up state run in a
// freshly started copy of this program (a threadsafe death test) and report on standard error.
#include "support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <regex>
#include <string>

namespace {

using kemtest::Captured;
using kemtest::ScratchDir;

// Puts the modes that earlier tests may have changed back to a known state.
void reset_messages() {
    MESS_set(10, 0xFFFFFFFFu);
    MESS_set_out(1);
    MESS_set_page(1);
    MESS_set_str("line");
    MESS_file_close();
    FLAG_set_batch(0);
}

// Runs the scenario in a child from known message modes, with `input` as
// its standard input.
Captured run_child(const std::function<void()> &scenario, const std::string &input = "") {
    return kemtest::in_child(
        [&] {
            reset_messages();
            scenario();
        },
        input);
}

void print_lines(int from, int to) {
    for (int i = from; i <= to; ++i)
        MESS_print(M_print, "%d\n", i);
}

std::string numbered(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += std::to_string(i) + "\n";
    return text;
}

M_type level_after(const char *str) {
    MESS_set_str(str);
    return MESS_get();
}

int count_entries(const ScratchDir &dir) {
    auto entries = std::filesystem::directory_iterator(dir.dir());
    return static_cast<int>(std::distance(entries, {}));
}

// In a fresh copy of the program: standard output joins standard error so
// that the death test sees everything in order.
void join_stdout_to_stderr() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    dup2(2, 1);
}

} // namespace

TEST(Mess, AtStartUpPrintToOut2IsShownAndNothingIsChosen) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            join_stdout_to_stderr();
            int r = MESS_print(M_out3, "out3\n") + MESS_print(0x80000000u, "debug\n");
            r += 10 * MESS_print(M_mess, "mess\n") + 100 * MESS_print(M_out2, "out2\n");
            std::fprintf(stderr, "r=%d level=%x set=%d max=%d\n", r, MESS_get(), MESS_check_set(),
                         MESS_get_max_lines());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^mess\nout2\nr=110 level=fffff set=0 max=22\n$");
}

TEST(Mess, DefaultCodesApplyOnlyUntilAnExplicitSetting) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MESS_set(20, 0x200); // fill-down: 0x3FF
            MESS_set(21, M_out3);
            MESS_set(19, 0x1);
            std::fprintf(stderr, "%x ", MESS_get());
            MESS_set(1, 0);
            MESS_set(20, M_debug);
            MESS_set(21, M_debug);
            MESS_set(19, M_print);
            std::fprintf(stderr, "%x %d ", MESS_get(), MESS_check_set());
            MESS_set(10, M_warn);
            MESS_set(11, M_out1);
            MESS_set(9, 0x1);
            std::fprintf(stderr, "%x %d\n", MESS_get(), MESS_check_set());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^f003fe f003fe 1 f0fe 1\n$");
    EXPECT_EXIT(
        {
            MESS_set_str("");
            MESS_set(20, M_debug);
            std::fprintf(stderr, "%x %d\n", MESS_get(), MESS_check_set());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^fffff 1\n$");
}

TEST(Mess, FillDownEnablesEveryLowerBit) {
    MESS_set(0, M_warn);
    EXPECT_EQ(MESS_get(), 0xFFu);
    MESS_set(0, 0x200);
    EXPECT_EQ(MESS_get(), 0x3FFu);
    MESS_set(10, 0x80000000u);
    EXPECT_EQ(MESS_get(), 0xFFFFFFFFu);
    MESS_set(0, 0);
    EXPECT_EQ(MESS_get(), 0u);
    EXPECT_EQ(MESS_check(0xFFFFFFFFu), 0);
    EXPECT_EQ(MESS_print(M_error, "hidden\n"), 0);
}

TEST(Mess, OtherCodesUpToFourOnlyCountAndHigherOnesDoNothing) {
    MESS_set(10, M_print);
    int count = MESS_check_set();
    MESS_set(3, M_debug);
    MESS_set(-7, M_debug);
    MESS_set(12, M_debug);
    MESS_set(40, M_debug);
    EXPECT_EQ(MESS_get(), M_print);
    EXPECT_EQ(MESS_check_set(), count + 2);
}

TEST(Mess, LevelKeywordsSetAddAndRemoveKindsAndSubLevels) {
    EXPECT_EQ(level_after("mess"), 0xFFFu);
    EXPECT_EQ(level_after("+out3"), 0xF00FFFu);
    EXPECT_EQ(level_after("-print"), 0xF00FF0u);
    EXPECT_EQ(level_after("ERROR"), 0x3Fu);
    EXPECT_EQ(level_after("messages"), 0xFFFu); // keywords are prefixes
    EXPECT_EQ(level_after("mess,+debugd"), 0x80000FFFu);
    EXPECT_EQ(level_after("out2b"), 0x3FFFFu);
    EXPECT_EQ(level_after("print,-printa"), 0xEu);
    EXPECT_EQ(level_after("warna"), 0u); // warn has no sub-level a
    EXPECT_EQ(level_after("errorc"), 0u);
    EXPECT_EQ(level_after("warnc"), 0x7Fu);
    EXPECT_EQ(level_after("WARNC"), 0xFFu); // only a lower-case letter selects
    EXPECT_EQ(level_after("errora"), 0x1Fu);
}

TEST(Mess, UnknownAndEmptyWordsNameNothing) {
    EXPECT_EQ(level_after("mess,pages"), 0u);
    EXPECT_EQ(level_after("mess,pr"), 0u);
    EXPECT_EQ(level_after("mess,+bogus,-bogus"), 0xFFFu);
    EXPECT_EQ(level_after("mess,+,-"), 0xFFFu);
    EXPECT_EQ(level_after("print,,+mess"), 0xF00u);
    EXPECT_EQ(level_after("print,a"), 0u);
    EXPECT_EQ(level_after(",print"), 0xFu);
    EXPECT_EQ(level_after(nullptr), 0xFu);
}

TEST(Mess, LineItemReadsTheNumberAfterOneSeparator) {
    Captured c = run_child([] {
        for (const char *item : {"line30", "line:30", "LINE=40", "line", "line:", "line:-5",
                                 "line:abc", "line: 12", "line:99999999999999999999"}) {
            MESS_set_str(item);
            std::printf("%d ", MESS_get_max_lines());
        }
    });
    EXPECT_EQ(c.out, "22 30 40 22 22 22 22 12 2147483647 ");
}

TEST(Mess, ErrorsAndWarningsGoToStandardError) {
    Captured c = run_child([] {
        MESS_print(M_error, "error\n");
        MESS_print(M_out1, "out1\n");
        MESS_print(0x31, "both\n");
        MESS_print(0x40, "warn c\n");
        MESS_print(M_print, "%s %d\n", "print", 7);
        MESS_print(0x100, nullptr);
    });
    EXPECT_EQ(c.err, "error\nboth\nwarn c\n");
    EXPECT_EQ(c.out, "out1\nprint 7\n");
}

TEST(Mess, FileItemsChooseFileAndTerminal) {
    ScratchDir dir;
    dir.write("old", "old\n");
    dir.write("keep", "kept\n");
    std::string p = dir.dir() + "/";
    Captured c = run_child([&] {
        MESS_set_str(("+fi:" + p + "plus").c_str());
        int r1 = MESS_print(M_print, "to plus\n");
        MESS_set_str(("-fi=" + p + "old").c_str());
        MESS_print(M_print, "to old\n");
        MESS_set_str(("+FI:" + p + "keep").c_str());
        MESS_print(M_print, "to keep\n");
        MESS_set_str(("fi:" + p + "only").c_str());
        int r2 = MESS_print(M_print, "to only\n");
        MESS_print(M_print, "%s", std::string(5000, 'x').c_str());
        std::fprintf(stderr, "%d %d", r1, r2);
    });
    EXPECT_EQ(c.err, "1 0");
    EXPECT_EQ(c.out, "to plus\nto old\nto keep\n");
    EXPECT_EQ(dir.read("plus"), "to plus\n");
    EXPECT_EQ(dir.read("old"), "to old\n");
    EXPECT_EQ(dir.read("keep"), "kept\nto keep\n");
    EXPECT_EQ(dir.read("only"), "to only\n" + std::string(5000, 'x'));
}

TEST(Mess, FileItemsWithoutANameOpenNothing) {
    ScratchDir dir;
    std::string log = dir.path("log");
    Captured c = run_child([&] {
        if (chdir(dir.dir().c_str()) != 0)
            return;
        int r = 0;
        for (const char *item : {"+fi", "@fi", "-fi", "dfi", "+fi:", "@FI=", "dfi:"}) {
            MESS_set_str(("+fi:" + log).c_str());
            MESS_set_str(item);
            r += MESS_print(M_print, "%s\n", item);
        }
        MESS_set_str("fi");
        r += MESS_print(M_print, "fi\n");
        std::fprintf(stderr, "%d", r);
    });
    EXPECT_EQ(c.err, "7");
    EXPECT_EQ(c.out, "+fi\n@fi\n-fi\ndfi\n+fi:\n@FI=\ndfi:\n");
    EXPECT_EQ(dir.read("log"), "");
    EXPECT_EQ(count_entries(dir), 1); // the log only
}

TEST(Mess, StampedFileLinesStartWithTheUtcTime) {
    ScratchDir dir;
    std::string item = "@fi:" + dir.path("log");
    Captured c = run_child([&] {
        MESS_set_str(item.c_str());
        MESS_print(M_print, "first %d\n", 1);
        MESS_print(M_error, "two ");
        MESS_print(M_error, "calls\n");
    });
    std::string stamp = "[0-9]{2} (JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC) [0-3][0-9]  "
                        "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z -- ";
    std::regex expected(stamp + "first 1\n" + stamp + "two " + stamp + "calls\n");
    EXPECT_TRUE(std::regex_match(dir.read("log"), expected)) << dir.read("log");
    EXPECT_EQ(c.out, "first 1\n");
}

TEST(Mess, DeferredFileIsOpenedForEachMessage) {
    ScratchDir dir;
    dir.write("plain", "");
    std::string deferred = dir.path("deferred");
    Captured c = run_child([&] {
        MESS_set_str(("dfi:" + deferred).c_str());
        std::printf("before=%d\n", static_cast<int>(access(deferred.c_str(), F_OK) == 0));
        MESS_print(M_print, "one\n");
        unlink(deferred.c_str());
        MESS_print(M_print, "two\n");
        MESS_set_str(("dfi:" + dir.path("plain/sub")).c_str());
        MESS_print(M_print, "three\n");
    });
    EXPECT_EQ(c.out, "before=0\none\ntwo\nthree\n");
    EXPECT_EQ(dir.read("deferred"), "two\n");
}

TEST(Mess, DeferredNameLongerThanItsBufferIsRefused) {
    ScratchDir dir;
    std::string fits = dir.dir() + "/" + std::string(159 - dir.dir().size() - 1, 'f');
    std::string too_long = dir.dir() + "/" + std::string(160 - dir.dir().size() - 1, 'g');
    Captured c = run_child([&] {
        MESS_set_str(("dfi:" + fits).c_str());
        MESS_print(M_print, "fits\n");
        MESS_set_str(("dfi:" + too_long).c_str());
        MESS_print(M_print, "too long\n");
    });
    EXPECT_EQ(c.out, "fits\ntoo long\n");
    EXPECT_EQ(count_entries(dir), 1);
    EXPECT_EQ(dir.read(fits.substr(dir.dir().size() + 1)), "fits\n");
}

TEST(Mess, EchoFileGetsEveryShownMessage) {
    ScratchDir dir;
    Captured c = run_child([&] {
        MESS_file(dir.path("echo1").c_str(), "w");
        MESS_print(M_print, "a\n");
        MESS_set_str(("+debug,@fi:" + dir.path("log")).c_str());
        MESS_print(M_error, "b\n");
        MESS_set_str("fi"); // terminal off
        MESS_print(M_out4, "c\n");
        MESS_set_str("-out4");
        MESS_print(M_out4, "hidden\n");
        MESS_file(dir.path("echo2").c_str(), "w");
        MESS_print(M_print, "d\n");
        MESS_file_close();
        MESS_print(M_print, "e\n");
        MESS_file(nullptr, "w");
        MESS_print(M_print, "f\n");
    });
    EXPECT_EQ(dir.read("echo1"), "a\nb\nc\n");
    EXPECT_EQ(dir.read("echo2"), "d\n");
    EXPECT_EQ(c.out, "a\n");
    EXPECT_EQ(c.err, "b\n");
}

TEST(Mess, ItemListShowsMessAddsDebugAndEmptiesTheLog) {
    ScratchDir dir;
    dir.write("run.log", "old text\n");
    std::string items = "mess,+debugd,-fi:" + dir.path("run.log");
    Captured c = run_child([&] {
        MESS_set_str(items.c_str());
        std::printf("%x\n", MESS_get());
        MESS_print(0x80000000u, "debug d\n");
        MESS_print(0x40000000u, "debug c\n");
        MESS_print(M_out1, "out1\n");
    });
    EXPECT_EQ(c.out, "80000fff\ndebug d\n");
    EXPECT_EQ(dir.read("run.log"), "debug d\n");
}

TEST(Mess, AutomaticPagingWaitsAfterTheTwentyThirdNewlineAndAnyWaitRestartsTheCount) {
    Captured c = run_child(
        [] {
            MESS_set_str("PAGE");
            print_lines(1, 22);
            MESS_print(M_print, "%s", "arguments\n\n\n"); // not counted
            print_lines(23, 23);
            std::printf("next=%c\n", std::getchar());
            print_lines(24, 43);
            MESS_hold(M_print, "hold\n");
            print_lines(44, 66);
        },
        "xyz");
    EXPECT_EQ(c.out, numbered(1, 22) + "arguments\n\n\n23\nPress return to continue\nnext=y\n" +
                         numbered(24, 43) + "hold\n" + numbered(44, 66) +
                         "Press return to continue\n");
}

TEST(Mess, NoWaitWithoutAutomaticPagingOrInBatchMode) {
    Captured c = run_child(
        [] {
            print_lines(1, 30); // paging on request only
            MESS_set_str("page,pages");
            print_lines(31, 40); // "pages" silenced everything
            MESS_set_str("print,nopage");
            print_lines(41, 70);
            MESS_set_str("page");
            FLAG_set_batch(1);
            print_lines(71, 100);
            FLAG_set_batch(0);
            print_lines(101, 101); // the count went on in batch mode
            std::printf("next=%c\n", std::getchar());
        },
        "xy");
    EXPECT_EQ(c.out, numbered(1, 30) + numbered(41, 101) + "Press return to continue\nnext=y\n");
}

TEST(Mess, HoldShowsItsTextUnformattedAndReadsOneCharacter) {
    Captured c = run_child(
        [] {
            MESS_hold(M_print, "wait %d\n");
            MESS_hold(M_warn, "warn\n"); // needs error and warn bits for stderr
            MESS_hold(M_error | M_warn, "both\n");
            MESS_set(10, M_print);
            MESS_hold(M_mess, "disabled\n");
            MESS_set_page(0);
            MESS_hold(M_print, "page 0\n");
            MESS_set_page(1);
            MESS_set_out(0);
            MESS_hold(M_print, "file only\n");
            MESS_set_out(1);
            FLAG_set_batch(1);
            MESS_hold(M_print, "batch\n");
            std::printf("next=%c\n", std::getchar());
        },
        "abcde");
    EXPECT_EQ(c.out, "wait %d\nwarn\nnext=d\n");
    EXPECT_EQ(c.err, "both\n");
}

TEST(Mess, BannerShowsProgramAndVersionAsMessMessage) {
    Captured c = run_child([] {
        MESS_print_prog("CITY DETERMINATION PROGRAM");
        MESS_set(10, M_warn);
        MESS_print_prog("HIDDEN");
        MESS_set(10, M_mess);
        MESS_print_prog(nullptr);
    });
    EXPECT_EQ(c.out, "      CITY DETERMINATION PROGRAM (Ver 5.60.4-LINUX-X11)\n\n"
                     "       (Ver 5.60.4-LINUX-X11)\n\n");
}

/* A message file or echo file that another replaces is closed: switching
   files, however often, holds one of each open, and none once they are
   switched off. */
TEST(Mess, ReplacedMessageFilesAreClosed) {
    ScratchDir dir;
    run_child([&] {
        const int before = kemtest::open_descriptors();
        for (int round = 0; round < 3; ++round) {
            MESS_set_str(("+fi:" + dir.path("log1")).c_str());
            MESS_set_str(("-fi:" + dir.path("log2")).c_str());
            MESS_file(dir.path("echo1").c_str(), "w");
            MESS_file(dir.path("echo2").c_str(), "w");
            EXPECT_EQ(kemtest::open_descriptors(), before + 2) << "round " << round;
        }
        MESS_set_str("+fi");
        MESS_file_close();
        EXPECT_EQ(kemtest::open_descriptors(), before);
    });
}
