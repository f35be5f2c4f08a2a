/*
 * flag.cpp - program flags and plot switches (FLAG_).
 *
 * Thirty numbered 64-bit flag words through which the resource conversions
 * hand settings (batch mode, help, plot type, device) to the rest of a
 * program, and thirteen plot-component switches whose entries 0 and 12
 * are kept as sums of the others.  Owns both tables; the words start at 0
 * and the switches at 1.  Numbers outside a table are refused: setters
 * answer -1 and change nothing, getters answer 0.
 */
#include "kem.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int num_flags = 30;
constexpr int num_plot = 13;
constexpr int plot_text_last = 6; // text positions are 1 to 6

struct FlagState {
    int64_t words[num_flags] = {};
    int plot[num_plot] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

FlagState state;

bool valid_word(int num) {
    return num >= 0 && num < num_flags;
}

bool valid_plot(int ind) {
    return ind >= 0 && ind < num_plot;
}

// Summed wide and clamped so that odd switch values cannot overflow.
int sum_plot(int first, int last) {
    int64_t sum = 0;
    for (int i = first; i <= last; ++i)
        sum += state.plot[i];
    return static_cast<int>(std::clamp<int64_t>(sum, INT_MIN, INT_MAX));
}

void fill_plot(int first, int last, int value) {
    for (int i = first; i <= last; ++i)
        state.plot[i] = value;
}

} // namespace

extern "C" {

int FLAG_get(int num) {
    return valid_word(num) ? static_cast<int>(state.words[num]) : 0;
}

int64_t FLAG_getl(int num) {
    return valid_word(num) ? state.words[num] : 0;
}

int FLAG_set(int num, int value) {
    return FLAG_setl(num, value);
}

int FLAG_setl(int num, int64_t value) {
    if (!valid_word(num))
        return -1;
    state.words[num] = value;
    return 0;
}

int FLAG_reset(int value) {
    return FLAG_resetl(value);
}

int FLAG_resetl(int64_t value) {
    for (int64_t &word : state.words)
        word = value;
    return 0;
}

int FLAG_batch(void) {
    return state.words[FLAG_WORD_BATCH] > 0 ? 1 : 0;
}

int FLAG_set_batch(int value) {
    return FLAG_set(FLAG_WORD_BATCH, value);
}

int FLAG_help(void) {
    return state.words[FLAG_WORD_HELP] > 0 ? 1 : 0;
}

int FLAG_setplot(int ind, int value) {
    if (!valid_plot(ind))
        return -1;
    state.plot[ind] = value;
    if (ind == PLOT_ALL)
        fill_plot(0, PLOT_ALL - 1, value);
    if (ind == PLOT_TEXT)
        fill_plot(PLOT_TEXT, plot_text_last, value);
    state.plot[PLOT_TEXT] = sum_plot(PLOT_TEXT + 1, plot_text_last);
    state.plot[PLOT_ALL] = sum_plot(0, PLOT_ALL - 1);
    return 0;
}

int FLAG_getplot(int ind) {
    return valid_plot(ind) ? state.plot[ind] : 0;
}

int FLAG_resetplot(int value) {
    fill_plot(0, num_plot - 1, value);
    return 0;
}

} // extern "C"
