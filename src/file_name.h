/* file_name.h - shared by the data file naming files only; not part of the library's interface. */
#ifndef KEM_FILE_NAME_H
#define KEM_FILE_NAME_H

#include "kem.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace file_naming {

constexpr size_t kKeyChars = 29;   /* a key text holds 30 bytes */
constexpr size_t kNameChars = 159; /* names and templates hold 160 bytes */
constexpr size_t kExtChars = 19;   /* `ext` holds 20 bytes */
constexpr size_t kInfoChars = 39;  /* `ext_info` holds 40 bytes */

constexpr Date kUnsetDate{KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING,
                          KEM_MISSING, KEM_MISSING, KEM_MISSING, 0};

/* The naming record, defined in file_name.cpp, with the initial values
   the rest of the suite expects. */
struct NameState {
    char filename[kNameChars + 1] = "";
    int filename_type = 0;
    std::string conv, hconv, ext, ext_info;
    int late_off = 3600;
    int min_size = 0, rmin_size = 0;
    Date set = kUnsetDate;
    Date file_date = kUnsetDate;
    char keys[256][kKeyChars + 1] = {}; /* one per byte value */
    bool keys_cleared = false;          /* the first FILE_set_name clears them */
    int file_type = 0;
    struct { /* what FILE_save_name_conv keeps for FILE_restore_name_conv */
        int late_off = 3600;
        std::string conv, hconv, filename;
        int filename_type = 0;
    } saved;
};

extern NameState naming;

/* At most `limit` characters of `text`; empty for null. */
inline std::string cut(const char *text, size_t limit) {
    return text ? std::string(text, strnlen(text, limit)) : std::string();
}

/* Copies `text` into a caller's buffer of kNameChars + 1 bytes. */
inline void put_name(char *out, const std::string &text) {
    if (out == nullptr)
        return;
    size_t n = std::min(text.size(), kNameChars);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

inline void set_filename(const std::string &text, int type) {
    put_name(naming.filename, text);
    naming.filename_type = type;
}

inline const char *key_of(char c) {
    return naming.keys[static_cast<unsigned char>(c)];
}

/* A name under construction: never longer than a name buffer holds. */
struct Out {
    std::string text;
    void add(const std::string &s) {
        text.append(s, 0, kNameChars - std::min(kNameChars, text.size()));
    }
    void add(char c) { add(std::string(1, c)); }
};

/* One '%' conversion: its number (1 and not given when absent), its
   letter, and for %{name} the name.  `end` is past the conversion. */
struct Conv {
    int n = 1;
    bool given = false;
    char letter = '\0';
    std::string name;
    const char *end = nullptr;
};

/* Reads the conversion at `p` (just past '%'); false for a trailing '%'
   or '%N' and for an unclosed "%{", which are then copied literally. */
bool read_conv(const char *p, Conv &conv);

inline bool is_date_letter(char c) {
    return c != '\0' && std::strchr("Yymbdjhn", c) != nullptr;
}

bool is_path_letter(char c);

/* The text a path conversion inserts for a name built from a date. */
std::string path_text(const Conv &conv, const std::string &extracted);

/* The text a key conversion inserts. */
std::string key_text(const Conv &c);

/* Lowers the file period to what a conversion of a date field gives;
   a step code of the field in `set` with step 0 is warned about when
   `warn` is set. */
void lower_period(char letter, int n, bool warn);

/* The name of the time `secs` seconds since 1970, built from the template. */
void name_of(time_t secs, char *out);

/* file_current.cpp: for a typed name that asks for the current or latest
   file ("#...", "cu..." or "la..."), names that file in `out`, tells it
   and answers true; false for any other name. */
bool name_current(const char *name, char *out);

/* file_current.cpp: reads "YYYY[MM[DD[hh[mm]]]]" into the fields of `date`, each while a
   digit starts it; a field cut short by the end of the text is read only
   when `short_last` is set. */
void read_fixed_date(const char *p, Date &date, bool short_last);

} // namespace file_naming

#endif /* KEM_FILE_NAME_H */
