/*
 * fuzz_kemcity.cpp - the kemcity driver on raw tables and the station
 * database, run in process.
 *
 * Input: a first line of argument words (blank-separated), then a file
 * that is both the raw table "t.raw" and the database "sao.cty".  The
 * driver is compiled in with its main and exit renamed: its exit becomes
 * an exception that unwinds back here, so one process serves every run.
 */
#include "sandbox.h"

#include <sstream>

int kemcity_main(int argc, char **argv);
extern "C" [[noreturn]] void kemcity_exit(int status);

#define main kemcity_main
#define KEM_exit kemcity_exit
#include "../src/kemcity.cpp"
#undef main
#undef KEM_exit

namespace {

struct Exited {
    int status;
};

} // namespace

extern "C" void kemcity_exit(int status) {
    throw Exited{status};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto [head, body] = fuzz::first_line(input);
    fuzz::write_file("t.raw", body);
    fuzz::write_file("sao.cty", body);

    std::vector<std::string> args = {"kemcity", "-in", "t.raw"};
    for (std::string &word : fuzz::split(head, ' ', 64))
        if (!word.empty())
            args.push_back(fuzz::tame(word, true));
    std::vector<char *> argv = fuzz::pointers(args);
    try {
        kemcity_main(static_cast<int>(args.size()), argv.data());
    } catch (const Exited &) {
    }
    fuzz::reset();
    return 0;
}
