/*
 * fuzz_values.cpp - values read from a file ("@FILE") by the kemcity
 * driver, run in process.
 *
 * Input: the bytes of the values file.  kemcity looks its values up in a
 * small raw table twice: once with "@v.txt", the input, and once with
 * "@w.txt", a file this harness writes with the words that the input's
 * lines give by the rule of the manual page (the first word of each line,
 * each line read up to 160 characters, blank lines and words beginning
 * with '#' skipped), one a line.  Both runs must print the same, to the
 * byte, and end with the same status.
 */
#include "kemcity.h"
#include "sandbox.h"
#include "text.h"

#include <fcntl.h>

namespace {

constexpr const char *table = "Cities\n"
                              "ID   Name        ST  Lat     Lon      Elev  Pop\n"
                              "KORD Chicago     IL  41.98   -87.90   201   2746388\n"
                              "KSPI Springfield IL  39.84   -89.68   179   114394\n"
                              "#x   Hash        --  0.00    0.00     0     1\n";

/* The words of a values file as the manual tells them. */
std::string words_of(std::string_view file) {
    std::string out;
    while (!file.empty()) {
        size_t nl = file.find('\n');
        std::string_view line = file.substr(0, std::min<size_t>(nl, KEM_LINE_MAX));
        file = nl == file.npos ? std::string_view() : file.substr(nl + 1);
        size_t at = 0;
        while (at < line.size() && is_blank(static_cast<unsigned char>(line[at])))
            ++at;
        size_t end = at;
        while (end < line.size() && line[end] != '\0' &&
               !is_blank(static_cast<unsigned char>(line[end])))
            ++end;
        if (end > at && line[at] != '#')
            out.append(line.substr(at, end - at)).push_back('\n');
    }
    return out;
}

struct Result {
    std::string out, err;
    int status;
};

/* One run of the driver with its standard output and error in files. */
Result run(const char *values_file) {
    std::vector<std::string> args = {"kemcity", "-in", "t.raw", "-ba", values_file};
    std::vector<char *> argv = fuzz::pointers(args);
    std::fflush(nullptr);
    int saved_out = dup(1), saved_err = dup(2);
    int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (saved_out < 0 || saved_err < 0 || out < 0 || err < 0)
        std::abort();
    dup2(out, 1);
    dup2(err, 2);
    Result result;
    result.status = kemcity::kemcity_main(static_cast<int>(args.size()), argv.data());
    std::fflush(nullptr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    for (int fd : {saved_out, saved_err, out, err})
        close(fd);
    auto slurp = [](const char *name) {
        std::string text;
        FILE *in = std::fopen(name, "rb");
        if (in == nullptr)
            std::abort();
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;)
            text.append(buf, n);
        std::fclose(in);
        return text;
    };
    result.out = slurp("out.txt");
    result.err = slurp("err.txt");
    fuzz::reset();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    fuzz::write_file("t.raw", table);
    fuzz::write_file("v.txt", input);
    fuzz::write_file("w.txt", words_of(input));
    Result messy = run("@v.txt");
    Result clean = run("@w.txt");
    if (messy.out != clean.out || messy.err != clean.err || messy.status != clean.status) {
        std::fprintf(stderr, "values: @v.txt and its words differ\n--- out\n%s\n--- words\n%s\n",
                     messy.out.c_str(), clean.out.c_str());
        std::fprintf(stderr, "--- err\n%s\n--- words\n%s\n", messy.err.c_str(), clean.err.c_str());
        std::abort();
    }
    return 0;
}
