/*
 * sandbox.h - what every fuzzing harness shares.
 *
 * A harness runs inside a sandbox of its own making: on its first call
 * the process moves into a fresh scratch directory, which is also its
 * whole defaults search path; the environment is emptied and standard
 * input reads /dev/null.  Files a harness writes go there only.  popen
 * and system are replaced by versions that stop the run, so an input
 * that would start a command is reported as a fault instead of running
 * anything.  Since the process leaves its working directory, libFuzzer
 * must be given absolute paths (fuzz/run.sh does).  Between runs reset()
 * puts the library's process-wide state back, so that state never grows
 * from one input to the next.
 */
#ifndef KEM_FUZZ_SANDBOX_H
#define KEM_FUZZ_SANDBOX_H

#include "kem.h"
#include "resrc.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/* The entry points libFuzzer (or fuzz/replay.cpp) calls. */
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fuzz {

/* The scratch directory, made on first use. */
inline const std::string &scratch() {
    static const std::string dir = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kemfuzz.XXXXXX";
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0)
            std::abort();
        clearenv();
        setenv("kemdefault", pattern.c_str(), 1);
        int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd < 0 || dup2(null_fd, 0) < 0)
            std::abort();
        close(null_fd);
        return pattern;
    }();
    return dir;
}

/* Writes `data` to a file of the scratch directory; answers its path. */
inline std::string write_file(const char *name, std::string_view data) {
    std::string path = scratch() + "/" + name;
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        std::abort();
    std::fwrite(data.data(), 1, data.size(), out);
    std::fclose(out);
    return path;
}

/* Splits the input at `delim`; a '|' becomes '!' so that no word can
   name a pipe (those come from the user only, never from fuzzing). */
inline std::vector<std::string> split(std::string_view data, char delim, size_t max_words) {
    std::vector<std::string> words(1);
    for (char c : data) {
        if (c == delim) {
            if (words.size() == max_words)
                break;
            words.emplace_back();
        } else {
            words.back() += c == '|' ? '!' : c;
        }
    }
    return words;
}

/* Outside input that a harness feeds the library as the user's own words
   (argument words, settings) is kept from reaching outside the sandbox:
   - message settings open files for writing by name ("fi:name"), so '/',
     '\\' (opening takes it for '/') and '~' become '_', and the name stays
     in the scratch directory; with `keep_first`, a '/' that begins the
     text stays: a path to read, or a value such as "/KORD";
   - '|' becomes '!', as pipes are the user's to name;
   - '#' becomes '_', since "#n" in a search path talks to display window n.
   With `file_text` the text is the content of a file that the library
   itself must refuse to take commands from: '|' and '#' stay. */
inline std::string tame(std::string text, bool keep_first, bool file_text = false) {
    for (size_t i = 0; i < text.size(); ++i) {
        char &c = text[i];
        if ((c == '|' || c == '#') && !file_text)
            c = c == '|' ? '!' : '_';
        else if (c == '~' || c == '\\' || (c == '/' && !(keep_first && i == 0)))
            c = '_';
    }
    return text;
}

/* The text up to the first newline, and what follows it (all of the
   input when it has no newline: then the first part is empty). */
inline std::pair<std::string_view, std::string_view> first_line(std::string_view input) {
    size_t nl = input.find('\n');
    if (nl == input.npos)
        return {std::string_view(), input};
    return {input.substr(0, nl), input.substr(nl + 1)};
}

/* argv-style pointers into `words`, null-terminated. */
inline std::vector<char *> pointers(std::vector<std::string> &words) {
    std::vector<char *> argv;
    for (auto &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

/* The library's process-wide state as a program finds it at start. */
inline void reset() {
    res_clear();
    DEF_close();
    DEF_clr_tag();
    DEF_title("");
    RES_setCL(0, nullptr);
    FLAG_reset(0);
    FLAG_resetplot(0);
    MESS_file_close();
    MESS_set_str("fi");  /* closes a message file */
    MESS_set_str("dfi"); /* forgets a deferred one */
    MESS_set_str("nopage,line:22");
    MESS_set_out(1);
    MESS_set(0, M_warn);
    CTY_close(0);
}

} // namespace fuzz

/* Every harness enters its sandbox before its first input. */
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::scratch();
    return 0;
}

/* Nothing a harness feeds the library may start a command. */
extern "C" FILE *popen(const char *command, const char *) {
    std::fprintf(stderr, "sandbox: popen(\"%s\") refused\n", command ? command : "");
    std::abort();
}

extern "C" int system(const char *command) {
    std::fprintf(stderr, "sandbox: system(\"%s\") refused\n", command ? command : "");
    std::abort();
}

#endif
