/*
 * menu.cpp - numbered menus (MENU_).
 *
 * A menu is an array of MENU_item ended by an entry without a name.  Entry
 * 0 is the way back; from entry 1 on, the entries whose flag for the menu
 * type is exactly 1 are listed and numbered 1, 2, ... in one column, or in
 * two from 13 on.  The user answers with a number, an abbreviation or a
 * description; "?" lists the abbreviations.
 *
 * State: none; the menus belong to their callers.  Lookups answer -9999
 * (or null) when nothing matches; nothing is printed but the menu itself.
 */
#include "kem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int menu_types = 10;
constexpr int one_column_max = 12;
constexpr size_t answer_max = 80; /* characters an abbreviation may give the answer */

bool listed(const MENU_item &entry, int menu_num) {
    return menu_num >= 0 && menu_num < menu_types && entry.disp[menu_num] == 1;
}

int count_listed(const MENU_item *menu, int menu_num) {
    int n = 0;
    for (int i = 1; menu[0].name != nullptr && menu[i].name != nullptr; ++i)
        n += listed(menu[i], menu_num);
    return n;
}

/* The n-th listed entry, from 1. */
const MENU_item *nth_listed(const MENU_item *menu, int menu_num, int n) {
    for (int i = 1; menu[0].name != nullptr && menu[i].name != nullptr; ++i)
        if (listed(menu[i], menu_num) && --n == 0)
            return &menu[i];
    return nullptr;
}

const char *text_of(const char *text) {
    return text != nullptr ? text : "";
}

/* One listed entry: its number and name, or a separator line when the
   name begins with '-'; `last` ends the line. */
void print_entry(int number, const MENU_item &entry, bool last) {
    if (entry.name[0] == '-')
        MESS_print(M_print, last ? " --------------------               \n"
                                 : " --------------------               ");
    else
        MESS_print(M_print, last ? " %2d: %-30s\n" : " %2d: %-30s ", number, entry.name);
}

void print_entries(const MENU_item *menu, int menu_num, int count) {
    if (count <= one_column_max) {
        for (int n = 1; n <= count; ++n)
            print_entry(n, *nth_listed(menu, menu_num, n), true);
        return;
    }
    int rows = (count + 1) / 2;
    for (int r = 1; r <= rows; ++r) {
        bool pair = r + rows <= count;
        print_entry(r, *nth_listed(menu, menu_num, r), !pair);
        if (pair)
            print_entry(r + rows, *nth_listed(menu, menu_num, r + rows), true);
    }
}

void print_fixed_choices(const MENU_item *menu, int flag, bool two_columns) {
    const char *back = text_of(menu[0].name);
    if (flag & MENU_HELP)
        MESS_print(M_print, " 99: Help                          \n");
    if ((flag & MENU_EXIT) && (flag & MENU_RETURN)) {
        MESS_print(M_print, two_columns ? "  0: %-30s " : "  0: %-30s\n", back);
        MESS_print(M_print, " -1: Exit program                  \n");
    } else if (flag & MENU_EXIT) {
        MESS_print(M_print, "  0: Exit program                  \n");
    } else if (flag & MENU_RETURN) {
        MESS_print(M_print, "  0: %-30s\n", back);
    }
}

void print_abbreviations(const MENU_item *menu, int menu_num) {
    MESS_print(M_print, "%s", text_of(menu[0].abbr));
    for (int n = 1; const MENU_item *entry = nth_listed(menu, menu_num, n); ++n)
        MESS_print(M_print, ",%s", text_of(entry->abbr));
    MESS_print(M_print, "\n\n");
}

void copy_answer(char *string, const char *abbr) {
    size_t len = std::strlen(text_of(abbr));
    if (len > answer_max)
        len = answer_max;
    std::memmove(string, text_of(abbr), len);
    string[len] = '\0';
}

/* The fixed words: -1 or 0 for a fixed choice, else -9999. */
int fixed_word(const char *answer, int flag) {
    bool exit_word = std::strcmp(answer, "Exit program") == 0 || stricmp(answer, "exit") == 0;
    bool main_word =
        std::strcmp(answer, "Return to main menu") == 0 || stricmp(answer, "main") == 0;
    bool exit_offered = (flag & MENU_EXIT) != 0, return_offered = (flag & MENU_RETURN) != 0;
    if (exit_offered && return_offered)
        return exit_word ? -1 : main_word ? 0 : KEM_MISSING;
    if (exit_offered)
        return exit_word ? 0 : KEM_MISSING;
    if (return_offered)
        return main_word ? 0 : KEM_MISSING;
    return KEM_MISSING;
}

/* The whole answer as a number; false for "-" or a number out of range,
   which are then matched as words. */
bool read_number(const char *answer, int *number) {
    if (!string_is_num(answer))
        return false;
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(answer, &end, 10);
    if (end == answer || *end != '\0' || errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return false;
    *number = static_cast<int>(value);
    return true;
}

/* A number within the accepted range: itself for 0 and -1, else the
   index of the listed entry it stands for. */
int chosen_number(const MENU_item *menu, int menu_num, int flag, char *string) {
    int lowest = (flag & MENU_EXIT) ? -1 : (flag & MENU_RETURN) ? 0 : 1;
    int number = 0;
    if (!read_number(string, &number) || number < lowest || number > count_listed(menu, menu_num))
        return KEM_MISSING;
    if (number <= 0)
        return number;
    const MENU_item *entry = nth_listed(menu, menu_num, number);
    copy_answer(string, entry->abbr);
    return entry->index;
}

bool names_entry(const char *answer, const MENU_item &entry) {
    return (entry.abbr != nullptr && stricmp(answer, entry.abbr) == 0) ||
           stricmp(answer, entry.name) == 0;
}

int matched_word(const MENU_item *menu, int menu_num, char *string) {
    const MENU_item *match = names_entry(string, menu[0]) ? &menu[0] : nullptr;
    for (int n = 1; match == nullptr; ++n) {
        const MENU_item *entry = nth_listed(menu, menu_num, n);
        if (entry == nullptr)
            return KEM_MISSING;
        if (names_entry(string, *entry))
            match = entry;
    }
    copy_answer(string, match->abbr);
    return match->index;
}

const MENU_item *first_with_index(int index, const MENU_item *menu) {
    for (int i = 0; menu != nullptr && menu[i].name != nullptr; ++i)
        if (menu[i].index == index)
            return &menu[i];
    return nullptr;
}

} // namespace

extern "C" {

int MENU_print(const char *title, const MENU_item *menu, int menu_num, int flag) {
    if (menu == nullptr)
        return 1;
    int count = count_listed(menu, menu_num);
    MESS_print(M_print, "%s", text_of(title));
    MESS_print(M_print, "\n");
    print_entries(menu, menu_num, count);
    print_fixed_choices(menu, flag, count > one_column_max);
    MESS_print(M_print, "\n");
    return 1;
}

int MENU_process(const char *title, const MENU_item *menu, int menu_num, const char *prompt,
                 char *string, int flag) {
    if (menu == nullptr || menu[0].name == nullptr || string == nullptr)
        return KEM_MISSING;
    MENU_print(title, menu, menu_num, flag);
    for (;;) {
        KEM_promptl(prompt, string);
        if (std::strcmp(string, "?") != 0)
            break;
        print_abbreviations(menu, menu_num);
    }
    int result = fixed_word(string, flag);
    if (result == KEM_MISSING)
        result = chosen_number(menu, menu_num, flag, string);
    if (result == KEM_MISSING)
        result = matched_word(menu, menu_num, string);
    return result;
}

int MENU_search(const char *item, const MENU_item *menu) {
    if (item == nullptr || menu == nullptr)
        return KEM_MISSING;
    for (int i = 0; menu[i].name != nullptr; ++i)
        if (names_entry(item, menu[i]))
            return menu[i].index;
    return KEM_MISSING;
}

const char *MENU_get_abbr(int index, const MENU_item *menu) {
    const MENU_item *entry = first_with_index(index, menu);
    return entry != nullptr ? entry->abbr : nullptr;
}

int MENU_check(int index, const MENU_item *menu, int menu_num) {
    const MENU_item *entry = first_with_index(index, menu);
    if (entry == nullptr || menu_num < 0 || menu_num >= menu_types)
        return 0;
    return entry->disp[menu_num] != 0 ? 1 : 0;
}

} // extern "C"
