// Tests of the program flags and plot switches.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kem.h"

namespace {

// Runs in a freshly started copy of this test program, so it sees the
// tables as a program sees them before anything is set.
void report_start_state() {
    int words_zero = 1;
    for (int i = 0; i < 30; ++i)
        words_zero &= FLAG_getl(i) == 0;
    int plot_one = 1;
    for (int i = 0; i <= 12; ++i)
        plot_one &= FLAG_getplot(i) == 1;
    std::fprintf(stderr, "words_zero=%d plot_one=%d batch=%d help=%d\n", words_zero, plot_one,
                 FLAG_batch(), FLAG_help());
    std::exit(0);
}

} // namespace

TEST(Flag, WordsStartAtZeroAndSwitchesAtOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(report_start_state(), testing::ExitedWithCode(0),
                "words_zero=1 plot_one=1 batch=0 help=0");
}

TEST(Flag, WordsHoldSixtyFourBitsAndNumbersOutsideTheTableAreRefused) {
    EXPECT_EQ(FLAG_reset(4), 0);
    EXPECT_EQ(FLAG_setl(3, int64_t{1} << 40), 0);
    EXPECT_EQ(FLAG_getl(3), int64_t{1} << 40);
    EXPECT_EQ(FLAG_set(29, -5), 0); // sign-extended
    EXPECT_EQ(FLAG_getl(29), -5);
    EXPECT_EQ(FLAG_set(30, 1), -1);
    EXPECT_EQ(FLAG_setl(-1, 1), -1);
    EXPECT_EQ(FLAG_get(30), 0);
    EXPECT_EQ(FLAG_getl(-1), 0);
    for (int i = 4; i < 29; ++i)
        EXPECT_EQ(FLAG_get(i), 4) << "word " << i;
}

TEST(Flag, BatchAndHelpAreOnOnlyForPositiveWords) {
    EXPECT_EQ(FLAG_resetl(-9999), 0);
    EXPECT_EQ(FLAG_batch() + FLAG_help(), 0);
    EXPECT_EQ(FLAG_set_batch(1), 0);
    EXPECT_EQ(FLAG_get(19), 1);
    EXPECT_EQ(FLAG_batch(), 1);
    FLAG_set(20, 2);
    EXPECT_EQ(FLAG_help(), 1);
    FLAG_set_batch(0);
    FLAG_set(20, -1);
    EXPECT_EQ(FLAG_batch() + FLAG_help(), 0);
}

TEST(Flag, TextSwitchZeroCountsTheTextPositionsAndTwelveSumsAll) {
    FLAG_resetplot(0);
    EXPECT_EQ(FLAG_setplot(0, 1), 0);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(FLAG_getplot(i), 1) << "switch " << i;
    EXPECT_EQ(FLAG_getplot(0), 6);
    EXPECT_EQ(FLAG_getplot(7), 0);
    EXPECT_EQ(FLAG_getplot(12), 12); // switch 0 itself counts as well

    FLAG_setplot(3, 0);
    EXPECT_EQ(FLAG_getplot(0), 5);
    EXPECT_EQ(FLAG_getplot(12), 10);
    FLAG_setplot(8, 1);
    EXPECT_EQ(FLAG_getplot(12), 11);
}

TEST(Flag, SwitchTwelveSetsEverySwitch) {
    FLAG_resetplot(1);
    EXPECT_EQ(FLAG_setplot(12, 0), 0);
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(FLAG_getplot(i), 0) << "switch " << i;
    FLAG_setplot(12, 1);
    EXPECT_EQ(FLAG_getplot(0), 6);
    EXPECT_EQ(FLAG_getplot(12), 6 + 11);
}

TEST(Flag, PlotIndexesOutsideTheTableAreIgnored) {
    FLAG_resetplot(1);
    EXPECT_EQ(FLAG_setplot(13, 5), -1);
    EXPECT_EQ(FLAG_setplot(-1, 5), -1);
    EXPECT_EQ(FLAG_getplot(13), 0);
    EXPECT_EQ(FLAG_getplot(-1), 0);
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(FLAG_getplot(i), 1) << "switch " << i;
}
