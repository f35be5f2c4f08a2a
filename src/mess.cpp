/*
 * mess.cpp - levelled message output (MESS_).
 *
 * Every text a program of the suite writes for a person passes through
 * here.  A message carries a kind mask; one process-wide mask of enabled
 * kinds decides whether it is shown, and a shown message is formatted once
 * and the same text goes to the echo file, the message file (plain,
 * time-stamped, or reopened for each message) and the terminal, where
 * errors and warnings use standard error.  Terminal output can be paged.
 *
 * Owns the enabled mask, the count of explicit settings, the output and
 * paging modes, the line count, the echo and message files and the name
 * of the deferred message file.  Nothing here reports failure: a file that
 * does not open is simply an absent destination (only a message file
 * refused as a planted symbolic link is warned about), and a malformed
 * setting item is read as a level keyword that names nothing.
 */
#include "kem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr M_type terminal_stderr_kinds = M_error | M_warn;
constexpr int default_max_lines = 22;
constexpr const char *page_prompt = "Press return to continue\n";

// Values of the output mode.
constexpr int out_stamped = -1;  // message file with time stamps, terminal
constexpr int out_file_only = 0; // message file only
constexpr int out_deferred = 2;  // file reopened for each message, terminal

// Values of the paging mode.
constexpr int page_never = 0;
constexpr int page_auto = 2;

struct MessState {
    M_type level = 0xFFFFF; // print to out2, all sub-levels
    int set_count = 0;      // explicit settings made so far
    int out = 1;            // output mode, see the constants above
    int page = 1;           // wait only when asked
    int lines = 0;          // newlines shown since the last wait
    int max_lines = default_max_lines;
    FILE *ofile = nullptr;            // echo file
    FILE *pfile = nullptr;            // message file
    char filename[KEM_PATH_MAX] = {}; // deferred message file, empty for none
};

MessState state;

/* ---- levels ---------------------------------------------------------- */

// Sets the highest set bit and every bit below it.
M_type fill_down(M_type mask) {
    for (int shift = 1; shift < 32; shift <<= 1)
        mask |= mask >> shift;
    return mask;
}

void count_setting() {
    if (state.set_count < INT_MAX)
        ++state.set_count;
}

void apply_oper(int oper, M_type level) {
    switch (oper) {
    case 0:
    case 10:
    case 20:
        state.level = fill_down(level);
        break;
    case 1:
    case 11:
    case 21:
        state.level |= level;
        break;
    case -1:
    case 9:
    case 19:
        state.level &= ~level;
        break;
    default:
        break;
    }
}

/* ---- setting items ----------------------------------------------------- */

struct LevelWord {
    const char *word;
    int len; // characters compared: the word is a prefix of the item
    M_type mask;
};

constexpr LevelWord level_words[] = {
    {"none", 4, 0},      {"print", 5, M_print}, {"error", 5, M_error}, {"warn", 4, M_warn},
    {"mess", 4, M_mess}, {"out1", 4, M_out1},   {"out2", 4, M_out2},   {"out3", 4, M_out3},
    {"out4", 4, M_out4}, {"debug", 5, M_debug},
};

M_type keyword_mask(const char *word) {
    for (const LevelWord &lw : level_words) {
        if (strnicmp(word, lw.word, lw.len) == 0)
            return lw.mask;
    }
    return 0;
}

// A trailing lower-case a to d narrows the kind to one bit of each nibble.
M_type narrow_to_sublevel(const char *word, M_type mask) {
    size_t len = std::strlen(word);
    if (len == 0)
        return mask;
    switch (word[len - 1]) {
    case 'a':
        return mask & 0x11111111u;
    case 'b':
        return mask & 0x22222222u;
    case 'c':
        return mask & 0x44444444u;
    case 'd':
        return mask & 0x88888888u;
    default:
        return mask;
    }
}

void apply_level_word(const char *item) {
    char sign = (item[0] == '+' || item[0] == '-') ? item[0] : '\0';
    const char *word = sign != '\0' ? item + 1 : item;
    M_type mask = narrow_to_sublevel(word, keyword_mask(word));
    if (sign == '+')
        state.level |= mask;
    else if (sign == '-')
        state.level &= ~mask;
    else
        state.level = fill_down(mask);
}

// The message file being replaced is closed first, so that buffered text
// of the old stream cannot land in a file the new stream just emptied.
void replace_pfile(FILE *stream) {
    if (state.pfile != nullptr)
        FILE_close(state.pfile);
    state.pfile = stream;
}

// The name of a file item starts after its keyword and one separator
// character; an item too short to hold a name names no file.
const char *item_name(const char *item, size_t start) {
    return std::strlen(item) > start ? item + start : nullptr;
}

// A name that does not fit the 160-byte buffer is refused rather than cut:
// writing the log to a truncated name would scatter it somewhere unexpected.
void set_deferred(const char *name) {
    state.filename[0] = '\0';
    if (name == nullptr)
        return;
    size_t len = std::strlen(name);
    if (len < sizeof state.filename)
        std::memcpy(state.filename, name, len + 1);
}

// A message file refused as a symbolic link that someone else could have
// planted (FILE_open) is worth a warning: the user asked for that log.
FILE *open_message_file(const char *name, const char *access) {
    FILE *stream = FILE_open(name, access);
    if (stream == nullptr && errno == ELOOP)
        MESS_print(M_warn, "MESS: message file %s refused: a symbolic link where others may write\n",
                   name);
    return stream;
}

struct FileItem {
    const char *key;
    size_t name_at;     // index of the file name in the item
    const char *access; // null: remember the name, open nothing now
    int out;            // output mode the item selects
};

constexpr FileItem file_items[] = {
    {"@fi", 4, "a", out_stamped},
    {"+fi", 4, "a", 1},
    {"-fi", 4, "w", 1},
    {"dfi", 4, nullptr, out_deferred},
    {"fi", 3, "a", out_file_only},
};

bool apply_file_item(const char *item) {
    for (const FileItem &fi : file_items) {
        if (strnicmp(item, fi.key, static_cast<int>(std::strlen(fi.key))) != 0)
            continue;
        const char *name = item_name(item, fi.name_at);
        if (fi.access == nullptr)
            set_deferred(name);
        else
            replace_pfile(name != nullptr ? open_message_file(name, fi.access) : nullptr);
        state.out = fi.out;
        return true;
    }
    return false;
}

// The number follows "line" and one separator character, as in line:30;
// anything that is not a positive number gives the default.
int parse_max_lines(const char *item) {
    const char *text = item_name(item, 5);
    if (text == nullptr)
        return default_max_lines;
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text == '+')
        ++text;
    long long value = 0;
    const char *end = text + std::strlen(text);
    std::errc ec = std::from_chars(text, end, value).ec;
    if (ec == std::errc::result_out_of_range)
        value = *text == '-' ? -1 : INT_MAX;
    else if (ec != std::errc())
        value = 0;
    return value > 0 ? static_cast<int>(std::min<long long>(value, INT_MAX)) : default_max_lines;
}

void apply_item(const char *item) {
    if (apply_file_item(item))
        return;
    if (stricmp(item, "nopage") == 0)
        state.page = page_never;
    else if (stricmp(item, "page") == 0)
        state.page = page_auto;
    else if (strnicmp(item, "line", 4) == 0)
        state.max_lines = parse_max_lines(item);
    else
        apply_level_word(item);
}

/* ---- printing ---------------------------------------------------------- */

// Formats into a stack buffer, and again into an allocated string when the
// text is longer; when memory runs out the text is cut to what the stack
// buffer holds.
std::string format_text(const char *format, va_list args) noexcept {
    std::string text;
    va_list again;
    va_copy(again, args);
    char small[256];
    int len = std::vsnprintf(small, sizeof small, format, args);
    try {
        if (len >= 0 && static_cast<size_t>(len) < sizeof small) {
            text.assign(small, static_cast<size_t>(len));
        } else if (len >= 0) {
            text.resize(static_cast<size_t>(len));
            std::vsnprintf(text.data(), text.size() + 1, format, again);
        }
    } catch (...) {
        text.clear();
        try {
            text.assign(small, std::strlen(small));
        } catch (...) {
        }
    }
    va_end(again);
    return text;
}

void write_text(FILE *stream, const std::string &text) {
    if (!text.empty())
        std::fwrite(text.data(), 1, text.size(), stream);
}

void write_stamp(FILE *stream) {
    char stamp[30] = {};
    DATE_get_current_str(stamp);
    std::fprintf(stream, "%s -- ", stamp);
}

// Log files are flushed after every message so that a crash or a reader
// watching the file never misses what was already said.
void write_files(const std::string &text) {
    if (state.ofile != nullptr) {
        write_text(state.ofile, text);
        std::fflush(state.ofile);
    }
    if (state.out == out_deferred)
        replace_pfile(state.filename[0] != '\0' ? FILE_open(state.filename, "a") : nullptr);
    if (state.pfile != nullptr) {
        if (state.out == out_stamped)
            write_stamp(state.pfile);
        write_text(state.pfile, text);
        std::fflush(state.pfile);
    }
    if (state.out == out_deferred)
        replace_pfile(nullptr);
}

int count_newlines(const char *text) {
    int count = 0;
    for (; *text != '\0'; ++text)
        count += *text == '\n';
    return count;
}

// Only the newlines of the format text count: arguments are data, and a
// table printer knows how many lines its formats make.
void page_terminal(M_type type, const char *format) {
    if (state.page != page_auto)
        return;
    long long lines = static_cast<long long>(state.lines) + count_newlines(format);
    state.lines = static_cast<int>(std::min<long long>(lines, INT_MAX));
    if (state.lines > state.max_lines)
        MESS_hold(type, page_prompt);
}

} // namespace

extern "C" {

int MESS_set(int oper, M_type level) {
    if (oper <= 4)
        count_setting();
    if (oper >= 16 && state.set_count != 0)
        return 0;
    apply_oper(oper, level);
    return 0;
}

int MESS_set_str(const char *str) {
    count_setting();
    int argc = 0;
    char **argv = nullptr;
    if (parse_string(str, ',', &argc, &argv) != 0)
        return 0;
    for (int i = 0; i < argc; ++i)
        apply_item(argv[i]);
    free_parsed_array(argc, argv);
    return 0;
}

M_type MESS_get(void) {
    return state.level;
}

int MESS_check_set(void) {
    return state.set_count;
}

int MESS_check(M_type level) {
    return (level & state.level) != 0 ? 1 : 0;
}

int MESS_file(const char *filename, const char *access) {
    MESS_file_close();
    if (filename != nullptr && access != nullptr)
        state.ofile = FILE_open(filename, access);
    return 0;
}

int MESS_file_close(void) {
    if (state.ofile != nullptr)
        FILE_close(state.ofile);
    state.ofile = nullptr;
    return 0;
}

int MESS_set_out(int val) {
    state.out = val;
    return 0;
}

int MESS_set_page(int val) {
    state.page = val;
    return 0;
}

int MESS_get_max_lines(void) {
    return state.max_lines;
}

int MESS_print(M_type type, const char *mess, ...) {
    if (!MESS_check(type))
        return 0;
    if (mess == nullptr)
        mess = "";
    va_list args;
    va_start(args, mess);
    std::string text = format_text(mess, args);
    va_end(args);
    write_files(text);
    if (state.out == out_file_only)
        return 0;
    write_text((type & terminal_stderr_kinds) != 0 ? stderr : stdout, text);
    page_terminal(type, mess);
    return 1;
}

int MESS_hold(M_type type, const char *mess) {
    if (!MESS_check(type) || state.out == out_file_only || FLAG_batch() || state.page == page_never)
        return 0;
    bool to_stderr = (type & M_error) != 0 && (type & M_warn) != 0;
    if (mess != nullptr)
        std::fputs(mess, to_stderr ? stderr : stdout);
    std::fflush(stdout);
    (void)std::getchar();
    state.lines = 0;
    return 0;
}

int MESS_plain_stdout(void) {
    bool files = state.ofile != nullptr || state.pfile != nullptr || state.out == out_deferred;
    return !files && state.out != out_file_only && state.page != page_auto ? 1 : 0;
}

int MESS_print_prog(const char *string) {
    const char *version = KEM_version();
    MESS_print(M_mess, "      %s (Ver %s)\n\n", string != nullptr ? string : "",
               version != nullptr ? version : "");
    return 0;
}

} // extern "C"
