/*
 * file_name.cpp - data file naming (FILE_).
 *
 * Data files are named by templates: a type, looked up in the name
 * convention file, gives a template of path, date and key conversions and
 * fixed text.  This file builds names from dates, reads typed names back
 * into dates, finds the current or latest file of a type and lists the
 * files a template can match.
 *
 * State: one naming record (the current name, the templates, the file
 * period, the fixed date fields, the key texts ...), with the initial
 * values the rest of the suite expects.  Names never fail to build: unset
 * fields give zeros, unset resources give ".".  Every text is bounded by
 * its field: longer key texts, extensions and expansions are cut, never
 * written past the end.
 */
#include "kem.h"

#include <cstring>

namespace {

constexpr int kKeyCount = 256;
constexpr size_t kKeyChars = 29; /* a key text holds 30 bytes */

struct NameState {
    char keys[kKeyCount][kKeyChars + 1] = {};
};

NameState naming;

} // namespace

extern "C" {

int FILE_set_key(int key, const char *str) {
    char *text = naming.keys[static_cast<unsigned char>(key)];
    size_t n = str ? strnlen(str, kKeyChars) : 0;
    for (size_t i = 0; i < n; ++i)
        text[i] = str[i] == ' ' ? '_' : str[i];
    text[n] = '\0';
    return 0;
}

int FILE_get_key(int key, char *str) {
    if (str != nullptr)
        std::strcpy(str, naming.keys[static_cast<unsigned char>(key)]);
    return 0;
}

} // extern "C"
