/*
 * bench_startup.cpp - speed of start-up with many values: every
 * positional word after the first is appended to the one values
 * resource, so the cost of start-up must grow with the words' total
 * length, not with its square.
 */
#include "kem.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void BM_StartUpWithValues(benchmark::State &state) {
    char dir[] = "/tmp/kem-bench-XXXXXX";
    if (!mkdtemp(dir))
        std::abort();
    setenv("kemdefault", dir, 1); /* an empty search path: no defaults file */
    std::vector<std::string> words = {"kembench"};
    for (int i = 0; i < state.range(0); i++)
        words.push_back("value" + std::to_string(i));
    std::vector<char *> argv;
    for (auto &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const res_type keyed[] = {RES_output, RES_null};
    const res_type positional[] = {RES_values, RES_null};
    for (auto _ : state)
        RES_init(static_cast<int>(words.size()), argv.data(), keyed, positional);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    rmdir(dir);
}

} // namespace

BENCHMARK(BM_StartUpWithValues)->Arg(15000)->Arg(60000)->Unit(benchmark::kMillisecond);
