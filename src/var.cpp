/*
 * var.cpp - variable and model descriptors (VAR_).
 *
 * Only the model table lives here so far: the numbers that forecast
 * labels carry for the models of the suite's gridded data, with their
 * names.  Owns no changing state; an unknown number gives an empty name.
 */
#include "kem.h"

#include <cstring>

namespace {

struct Model {
    int number;
    const char *name;
};

/* Numbers 1 to 6: the global and regional models the suite ingests. */
constexpr Model kModels[] = {{1, "GFS"},   {2, "NAM"},   {3, "RUC"},
                             {4, "ECMWF"}, {5, "UKMET"}, {6, "GEM"}};

} // namespace

extern "C" {

int VAR_model(char *name, int model) {
    if (name == nullptr)
        return 0;
    name[0] = '\0';
    for (const Model &m : kModels)
        if (m.number == model) {
            std::strcpy(name, m.name);
            return 1;
        }
    return 0;
}

} // extern "C"
