/*
 * res_conv.cpp - conversion of resource values (RES_).
 *
 * A stored value is text; RES_conv_data turns it into what its conversion
 * kind names: a number, a copy or a path in the caller's destination, or a
 * setting of the program flags, plot switches or message levels.  The file
 * owns no state of its own.
 *
 * Failure is reported by result codes: 0 when there is nothing to convert
 * or no destination for a kind that needs one, 1 otherwise; a value that
 * does not read as its kind leaves the destination unchanged.
 */
#include "kem.h"
#include "text.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Word {
    const char *text;
    int code;
};

constexpr Word file_params[] = {
    {"use", 3}, {"over", 1}, {"calc", 1}, {"reuse", 3}, {"recalc", 1}, {"app", 2},
};

constexpr Word plot_types[] = {
    {"raw", 0},   {"none", 99},   {"value", 17}, {"gvalue", 17}, {"cf", 15},   {"lcf", 16},
    {"ln", 12},   {"dln", 13},    {"ndln", 14},  {"stuve", 61},  {"vect", 21}, {"barb", 22},
    {"strm", 23}, {"stream", 23}, {"an", 54},    {"number", 54}, {"pm", 55},   {"skewt", 62},
    {"ema", 63},  {"teph", 64},   {"rteph", 65}, {"hodo", 69},
};

constexpr Word components[] = {
    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5}, {"text_lr", 6},
    {"data", 7},    {"map", 8},     {"grid", 9},    {"sum", 10},    {"bord", 11},
};

template <size_t N> int code_of(const Word (&words)[N], const char *text) {
    for (const Word &word : words)
        if (stricmp(text, word.text) == 0)
            return word.code;
    return -1;
}

/* Sets the flag word to the code of `value`; unknown words change nothing. */
template <size_t N> int set_flag_by_word(int flag, const Word (&words)[N], const char *value) {
    int code = code_of(words, value);
    if (code >= 0)
        FLAG_set(flag, code);
    return 1;
}

int convert_batch() {
    FLAG_set_batch(1);
    if (!MESS_check_set())
        MESS_set(0, 255);
    return 1;
}

int convert_bool(const char *value, int *out) {
    if (!value || stricmp(value, "true") == 0 || stricmp(value, "on") == 0 ||
        stricmp(value, "yes") == 0)
        *out = 1;
    else if (stricmp(value, "false") == 0 || stricmp(value, "off") == 0 ||
             stricmp(value, "no") == 0)
        *out = 0;
    return 1;
}

/* One item of a drawing-component list; an unsigned first item starts
   from nothing drawn. */
void draw_item(const char *item, bool first) {
    int on = 1;
    if (*item == '+')
        ++item;
    else if (*item == '-')
        on = 0, ++item;
    else if (first)
        FLAG_resetplot(0);
    if (stricmp(item, "none") == 0) {
        FLAG_setplot(PLOT_ALL, 0);
    } else if (stricmp(item, "all") == 0) {
        FLAG_setplot(PLOT_ALL, 1);
    } else if (stricmp(item, "text") == 0) {
        FLAG_setplot(PLOT_TEXT, on);
        FLAG_setplot(PLOT_BORDER, on);
    } else if (int index = code_of(components, item); index > 0) {
        FLAG_setplot(index, on);
    }
}

int convert_draw(const char *value) {
    int count = 0;
    char **items = nullptr;
    parse_string(value, ',', &count, &items);
    for (int i = 0; i < count; ++i)
        draw_item(items[i], i == 0);
    free_parsed_array(count, items);
    return 1;
}

/* The kinds that act on flags or message levels and need only a value. */
bool acts_without_destination(DEF_convert cvt) {
    return cvt == CV_mess || cvt == CV_hour || cvt == CV_file_param || cvt == CV_plot_type ||
           cvt == CV_draw;
}

int convert_without_destination(const char *value, DEF_convert cvt) {
    switch (cvt) {
    case CV_mess:
        MESS_set_str(value);
        return 1;
    case CV_file_param:
        return set_flag_by_word(FLAG_WORD_FILE_PARAM, file_params, value);
    case CV_plot_type:
        return set_flag_by_word(FLAG_WORD_PLOT_TYPE, plot_types, value);
    case CV_draw:
        return convert_draw(value);
    case CV_hour:
        return FILE_conv_hour(value);
    default:
        return 1;
    }
}

/* Whole number at the start of `text` (a '+' sign allowed); false when
   there is none or it does not fit. */
template <class T> bool read_number(const char *text, int base, T &result) {
    if (text[0] == '+' && text[1] != '-')
        ++text;
    T number{};
    auto [end, error] = std::from_chars(text, text + std::strlen(text), number, base);
    if (error != std::errc() || end == text)
        return false;
    result = number;
    return true;
}

int convert_int(const char *value, int *out) {
    unsigned char first = static_cast<unsigned char>(value[0]);
    if (!is_digit(first) && first != '-' && first != '+')
        return 1;
    if (value[1] == 'x' || value[1] == 'X') {
        std::uint32_t bits = 0;
        if (first == '0' && read_number(value + 2, 16, bits))
            *out = static_cast<int>(bits);
        return 1;
    }
    read_number(value, 10, *out);
    return 1;
}

/* Short and long values are only read when the text starts with a digit. */
template <class T> int convert_digit_start(const char *value, T *out) {
    if (is_digit(static_cast<unsigned char>(value[0])))
        read_number(value, 10, *out);
    return 1;
}

/* Copied into the caller's buffer, taken to be a path buffer: a longer
   value is cut rather than written past it. */
int convert_strcpy(const char *value, char *out) {
    strntcpy(out, value, KEM_PATH_MAX - 1);
    return 1;
}

/* A new copy with room for the delimiter; "none" gives an empty copy, so
   that the program may release whatever it was given. */
int convert_path(const char *value, char **out) {
    size_t len = stricmp(value, "none") == 0 ? 0 : std::strlen(value);
    char *copy = static_cast<char *>(std::malloc(len + 2));
    if (!copy)
        return 1;
    std::memcpy(copy, value, len);
    copy[len] = '\0';
    if (len > 0)
        FILE_add_path_delim(copy);
    *out = copy;
    return 1;
}

int convert_device(const char *value, const char **out) {
    int count = 0;
    char **items = nullptr;
    parse_string(value, ',', &count, &items);
    FLAG_set(FLAG_WORD_DEVICE, count > 0 ? RES_set_device(items[0]) : 1);
    if (count >= 2)
        *out = std::strchr(value, ',') + 1;
    free_parsed_array(count, items);
    return 1;
}

int convert_to(const char *value, void *out, DEF_convert cvt) {
    switch (cvt) {
    case CV_int:
        return convert_int(value, static_cast<int *>(out));
    case CV_short:
        return convert_digit_start(value, static_cast<std::int16_t *>(out));
    case CV_long:
        return convert_digit_start(value, static_cast<std::int64_t *>(out));
    case CV_float:
        *static_cast<float *>(out) = static_cast<float>(std::strtod(value, nullptr));
        return 1;
    case CV_color:
        *static_cast<std::int64_t *>(out) = std::strtoll(value, nullptr, 10);
        return 1;
    case CV_string:
        *static_cast<const char **>(out) = value;
        return 1;
    case CV_strcpy:
        return convert_strcpy(value, static_cast<char *>(out));
    case CV_path:
        return convert_path(value, static_cast<char **>(out));
    case CV_device:
        return convert_device(value, static_cast<const char **>(out));
    case CV_region:
    case CV_domain:
        DOM_decode(value, static_cast<Domain *>(out));
        return 1;
    case CV_none:
    case CV_current:
    case CV_name:
    case CV_ingestor:
    case CV_strings:
        return 1; /* the program reads these values itself */
    default:
        return 0;
    }
}

} // namespace

int RES_set_device(const char *dev) {
    switch (dev ? std::tolower(static_cast<unsigned char>(dev[0])) : 0) {
    case 'p':
        return 4;
    case 'h':
    case 'q':
        return 5;
    case 'm':
        return 3;
    case 'w':
        return 6;
    default:
        return 1;
    }
}

int RES_conv_data(const char *value, void *out, DEF_convert cvt) {
    if (cvt == CV_batch)
        return convert_batch();
    if (cvt == CV_help) {
        FLAG_set(FLAG_WORD_HELP, 1);
        return 1;
    }
    if (cvt == CV_bool && out)
        return convert_bool(value, static_cast<int *>(out));
    if (!value)
        return 0;
    if (acts_without_destination(cvt))
        return convert_without_destination(value, cvt);
    if (!out)
        return 0;
    return convert_to(value, out, cvt);
}
