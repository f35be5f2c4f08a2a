/*
 * bench_start.cpp - speed of the work around a lookup: start-up with no
 * defaults files, the defaults-file reader, the raw-table line reader and
 * record output through the message system.
 */
#include "kem.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string temp_file(const std::string &text) {
    char name[] = "/tmp/kem-bench-XXXXXX";
    int fd = mkstemp(name);
    FILE *out = fdopen(fd, "w");
    std::fputs(text.c_str(), out);
    std::fclose(out);
    return name;
}

const res_type keyed[] = {RES_help,  RES_batch,  RES_message,   RES_file_path, RES_city_file,
                          RES_input, RES_output, RES_parameter, RES_null};
const res_type positional[] = {RES_values, RES_null};

void BM_ResInitWithoutDefaultsFiles(benchmark::State &state) {
    char dir[] = "/tmp/kem-bench-XXXXXX";
    mkdtemp(dir);
    setenv("kemdefault", dir, 1);
    char *argv[] = {const_cast<char *>("kemcity"), const_cast<char *>("-in"),
                    const_cast<char *>("dbase"), const_cast<char *>("ST=IN"), nullptr};
    for (auto _ : state)
        benchmark::DoNotOptimize(RES_init(4, argv, keyed, positional));
    rmdir(dir);
}

void BM_DefGet(benchmark::State &state) {
    std::string text;
    for (int i = 0; i < 100; i++)
        text += "kemcity.output" + std::to_string(i) + ": ID,Name,Lat\n# a comment\n";
    std::string file = temp_file(text);
    char key[50], value[200];
    for (auto _ : state) {
        DEF_open(file.c_str());
        int n = 0;
        while (DEF_get(key, value) == 1)
            n++;
        DEF_close();
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * 100);
    unlink(file.c_str());
}

void BM_RawTableLines(benchmark::State &state) {
    std::string text = "h\nh\nh\nID Name ST Lat Lon\n";
    for (int i = 0; i < 10000; i++)
        text += "K" + std::to_string(10000 + i) + " Springfield IL 39.84 -89.68\n";
    std::string file = temp_file(text);
    char line[KEM_LINE_MAX + 1];
    for (auto _ : state) {
        FILE *in = FILE_open(file.c_str(), "r");
        int n = 0;
        while (fgetnline(in, line, KEM_LINE_MAX) >= 0)
            n++;
        FILE_close(in);
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * 10004);
    unlink(file.c_str());
}

/* A station record as 18 messages and its end, the general output path
   (here into a message file). */
void BM_RecordThroughMessages(benchmark::State &state) {
    MESS_set_str("out1,fi:/dev/null");
    for (auto _ : state) {
        const char *keys[] = {"Name", "ST", "CN", "ID", "P", "Lat", "Lon", "Elev", "WMO"};
        const char *values[] = {"Chicago", "IL",     "US",  "KORD", "0",
                                "41.98",   "-87.90", "201", "72530"};
        for (int i = 0; i < 9; i++) {
            MESS_print(M_out1, "%s=", keys[i]);
            MESS_print(M_print, "%s ", values[i]);
        }
        MESS_print(M_print, "\n");
    }
    MESS_set_str("warn,fi");
}

} // namespace

BENCHMARK(BM_ResInitWithoutDefaultsFiles);
BENCHMARK(BM_DefGet);
BENCHMARK(BM_RawTableLines);
BENCHMARK(BM_RecordThroughMessages);
