/*
 * fuzz_string.cpp - the string utilities: splitting into items and
 * command words, and the in-place edits, on arbitrary text.
 *
 * Input: the first byte is the delimiter for parse_string, the rest the
 * text (cut at its first NUL, as a C string is).
 */
#include "sandbox.h"

namespace {

/* Checks a parsed array and frees it.  The call is made here, before
   the results are read: as arguments of one call they could be read first. */
template <class Parse> void parsed(Parse parse) {
    int count = 0;
    char **items = nullptr;
    int result = parse(&count, &items);
    if (result == 0 && count > 0 && items == nullptr)
        std::abort();
    for (int i = 0; i < count; ++i)
        if (items[i] == nullptr)
            std::abort();
    free_parsed_array(count, items);
}

void edits(const std::string &text) {
    using Edit = int (*)(char *);
    for (Edit edit : {trim_string, trim_cr_string, wsstrip_string, wstrim_string, strip_spaces,
                      strip_escape, up_string, low_string, clean_line}) {
        std::string copy = text;
        edit(copy.data());
    }
    std::string copy = text;
    strip_string(copy.data(), ',');
    string_is_float(text.c_str());
    string_is_num(text.c_str());
    string_is_alpha(text.c_str());
    string_is_blank(text.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    char delim = static_cast<char>(data[0]);
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    text = text.c_str();
    const char *t = text.c_str();
    parsed([&](int *count, char ***items) { return parse_string(t, delim, count, items); });
    parsed([&](int *count, char ***items) { return parse_command(t, count, items); });
    parsed(
        [&](int *count, char ***items) { return parse_command_line("cmd -x", t, count, items); });
    edits(text);
    fuzz::reset();
    return 0;
}
