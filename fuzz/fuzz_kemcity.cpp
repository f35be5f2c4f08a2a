/*
 * fuzz_kemcity.cpp - the kemcity driver on raw tables and the station
 * database, run in process.
 *
 * Input: a first line of argument words (blank-separated), then a file
 * that is both the raw table "t.raw" and the database "sao.cty".  The
 * driver's entry answers the status the program would end with, so one
 * process serves every run.
 */
#include "kemcity.h"
#include "sandbox.h"

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
    kemcity::kemcity_main(static_cast<int>(args.size()), argv.data());
    fuzz::reset();
    return 0;
}
