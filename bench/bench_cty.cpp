/*
 * bench_cty.cpp - speed of a whole-database lookup: reading every record
 * of a station database and matching it against selection values, per
 * record (CTY_data_cmp) and with the selection prepared once, as kemcity
 * does for each run.
 */
#include "kem.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

/* A database of `count` stations spread over the United States. */
std::string make_database(int count) {
    char name[] = "/tmp/kem-bench-XXXXXX";
    int fd = mkstemp(name);
    FILE *out = fdopen(fd, "w");
    static const char *const states[] = {"IL", "IN", "WI", "MI", "OH", "IA", "MO", "KY"};
    for (int i = 0; i < count; i++) {
        std::fprintf(out, "Station_%-12d %s US K%03d      %s%d%s %6.2f %7.2f %5d %05d %d\n", i,
                     states[i % 8], i % 1000, i % 3 ? "" : "*", i % 10, i % 7 ? "" : "*",
                     25.0 + (i % 2400) / 100.0, -125.0 + (i % 5800) / 100.0, i % 3000, 70000 + i,
                     i);
    }
    std::fclose(out);
    return name;
}

void scan(benchmark::State &state, std::vector<const char *> values) {
    std::string file = make_database(static_cast<int>(state.range(0)));
    std::vector<char *> items;
    for (const char *value : values)
        items.push_back(const_cast<char *>(value));
    for (auto _ : state) {
        int fd = CTY_open(file.c_str(), 0, 0);
        CTY_data city;
        int kept = 0;
        while (CTY_read(fd, &city) > 0)
            if (CTY_data_cmp(static_cast<int>(items.size()), items.data(), &city) != -1)
                kept++;
        CTY_close(fd);
        benchmark::DoNotOptimize(kept);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    unlink(file.c_str());
}

/* The same scan with the selection prepared once, as kemcity runs it. */
void prepared(benchmark::State &state, std::vector<const char *> values) {
    std::string file = make_database(static_cast<int>(state.range(0)));
    std::vector<char *> items;
    for (const char *value : values)
        items.push_back(const_cast<char *>(value));
    CTY_select *sel = CTY_select_new(static_cast<int>(items.size()), items.data());
    for (auto _ : state) {
        int fd = CTY_open(file.c_str(), 0, 0);
        CTY_data city;
        int kept = 0;
        while (CTY_read_select(fd, &city, sel) > 0)
            if (CTY_select_cmp(sel, &city) != -1)
                kept++;
        CTY_close(fd);
        benchmark::DoNotOptimize(kept);
    }
    CTY_select_free(sel);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    unlink(file.c_str());
}

std::vector<const char *> thousand_identifiers() {
    static std::vector<std::string> ids;
    for (int i = 0; i < 1000; i++)
        ids.push_back("K" + std::to_string(i));
    std::vector<const char *> out;
    for (const std::string &id : ids)
        out.push_back(id.c_str());
    return out;
}

void BM_ReadEveryRecord(benchmark::State &state) {
    scan(state, {});
}
void BM_PreparedState(benchmark::State &state) {
    prepared(state, {"ST=IN"});
}
void BM_PreparedIdentifier(benchmark::State &state) {
    prepared(state, {"K123"});
}
void BM_PreparedThousandIdentifiers(benchmark::State &state) {
    prepared(state, thousand_identifiers());
}
void BM_SelectState(benchmark::State &state) {
    scan(state, {"ST=IN:P<3"});
}
void BM_SelectRadius(benchmark::State &state) {
    scan(state, {"RA<41.98:-87.9:250"});
}
void BM_SelectAlternatives(benchmark::State &state) {
    scan(state, {"K123", "Station_77", "Lat>40:Lat<45:Lon<-90", "WMO=71234"});
}

} // namespace

BENCHMARK(BM_ReadEveryRecord)->Arg(4000)->Arg(40000);
BENCHMARK(BM_SelectState)->Arg(4000)->Arg(40000);
BENCHMARK(BM_SelectRadius)->Arg(4000)->Arg(40000);
BENCHMARK(BM_SelectAlternatives)->Arg(4000)->Arg(40000);
BENCHMARK(BM_PreparedState)->Arg(40000);
BENCHMARK(BM_PreparedIdentifier)->Arg(40000);
BENCHMARK(BM_PreparedThousandIdentifiers)->Arg(40000);
