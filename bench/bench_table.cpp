/*
 * bench_table.cpp - speed of the keyed table and the station location
 * table over 100,000 generated stations: entering and searching records
 * directly, and loading a station database with CTY_store, then looking
 * stations up by identifier, by number and by position.
 */
#include "kem.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStations = 100000;

std::string identifier(int i) {
    char id[16];
    std::snprintf(id, sizeof id, "K%05d", i);
    return id;
}

std::string number(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", i % 99999);
    return text;
}

float lat_of(int i) {
    return -80.0f + static_cast<float>(i % 1600) / 10.0f;
}

float lon_of(int i) {
    return -179.0f + static_cast<float>(i / 1600 * 5 % 3580) / 10.0f;
}

/* A database of kStations stations spread over the globe.  Messages are
   switched off, so that only the work is timed. */
std::string make_database() {
    MESS_set_str("none");
    char name[] = "/tmp/kem-bench-XXXXXX";
    FILE *out = fdopen(mkstemp(name), "w");
    for (int i = 0; i < kStations; ++i)
        std::fprintf(out, "Station_%d -- XX %s %d %.2f %.2f 100 %s %d\n", i, identifier(i).c_str(),
                     i % 10, lat_of(i), lon_of(i), number(i).c_str(), i);
    std::fclose(out);
    return name;
}

Domain whole_world() {
    Domain d{};
    d.proj = 2;
    d.plat = d.plon = KEM_MISSING;
    for (float &p : d.param)
        p = KEM_MISSING;
    d.nx = 361;
    d.ny = 181;
    d.dx = d.dy = 1;
    return d;
}

struct Keys {
    std::vector<std::string> ids, numbers;
    Keys() {
        for (int i = 0; i < kStations; ++i) {
            ids.push_back(identifier(i));
            numbers.push_back(number(i));
        }
    }
};

const Keys &keys() {
    static const Keys k;
    return k;
}

void BM_TabEnter(benchmark::State &state) {
    const Keys &k = keys();
    int tsize = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TAB_table tab;
        TAB_init(&tab);
        TAB_create(&tab, tsize, sizeof(int), 2);
        for (int i = 0; i < kStations; ++i)
            TAB_enter(&tab, &i, k.ids[i].c_str(), k.numbers[i].c_str());
        state.PauseTiming();
        TAB_clear(&tab);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kStations);
}

void BM_TabSearch(benchmark::State &state) {
    const Keys &k = keys();
    TAB_table tab;
    TAB_init(&tab);
    TAB_create(&tab, static_cast<int>(state.range(0)), sizeof(int), 2);
    for (int i = 0; i < kStations; ++i)
        TAB_enter(&tab, &i, k.ids[i].c_str(), k.numbers[i].c_str());
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TAB_search(&tab, 1, k.ids[i].c_str()));
        i = (i + 7919) % kStations;
    }
    state.SetItemsProcessed(state.iterations());
    TAB_clear(&tab);
}

void BM_CtyStore(benchmark::State &state) {
    std::string file = make_database();
    Domain d = whole_world();
    for (auto _ : state) {
        CTY_store(file.c_str(), static_cast<int>(state.range(0)), &d, 10);
        CTY_close(0);
    }
    state.SetItemsProcessed(state.iterations() * kStations);
    CTY_clear();
    unlink(file.c_str());
}

void BM_CtySearch(benchmark::State &state) {
    std::string file = make_database();
    Domain d = whole_world();
    CTY_store(file.c_str(), 3, &d, 10);
    CTY_close(0);
    const Keys &k = keys();
    CTY_locate loc;
    int i = 0;
    for (auto _ : state) {
        const std::string &key = state.range(0) == 0 ? k.ids[i] : k.numbers[i];
        benchmark::DoNotOptimize(CTY_search(key.c_str(), &loc));
        i = (i + 7919) % kStations;
    }
    state.SetItemsProcessed(state.iterations());
    CTY_clear();
    unlink(file.c_str());
}

void BM_CtySearchLoc(benchmark::State &state) {
    std::string file = make_database();
    Domain d = whole_world();
    CTY_store(file.c_str(), 3, &d, 10);
    CTY_close(0);
    CTY_locate loc;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CTY_search_loc(lat_of(i) + 0.33f, lon_of(i) - 0.21f, &loc));
        i = (i + 7919) % kStations;
    }
    state.SetItemsProcessed(state.iterations());
    CTY_clear();
    unlink(file.c_str());
}

} // namespace

/* Bucket counts: the table's own cap for a station database, and one per station. */
BENCHMARK(BM_TabEnter)->Arg(4000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TabSearch)->Arg(4000)->Arg(100000);
/* Store kinds 1, 2 and 3. */
BENCHMARK(BM_CtyStore)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
/* By identifier (0) and by station number (1). */
BENCHMARK(BM_CtySearch)->Arg(0)->Arg(1);
BENCHMARK(BM_CtySearchLoc);
