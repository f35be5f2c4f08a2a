/*
 * calc.cpp - surface calculations.
 *
 * Pure point formulas: single-precision arguments and results, double
 * precision inside.  Owns no state.  Never fails: missing or unusable
 * input gives the missing value -9999.
 */
#include "kem.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double deg_to_rad = 0.017453292519943334;
constexpr double earth_radius_km = 100.0 * 63.713;

struct UnitVector {
    float x, y, z;
};

// Components are kept in single precision, as the distances have always
// been computed from them.
UnitVector unit_vector(float lat, float lon) {
    double phi = lat * deg_to_rad;
    double lambda = lon * deg_to_rad;
    return {static_cast<float>(std::cos(phi) * std::cos(lambda)),
            static_cast<float>(std::cos(phi) * std::sin(lambda)),
            static_cast<float>(std::sin(phi))};
}

bool usable(float value) {
    return value != KEM_MISSING && std::isfinite(value);
}

} // namespace

extern "C" {

float calc_earth_dist(float lat1, float lon1, float lat2, float lon2) {
    if (!usable(lat1) || !usable(lon1) || !usable(lat2) || !usable(lon2))
        return KEM_MISSING;
    UnitVector a = unit_vector(lat1, lon1);
    UnitVector b = unit_vector(lat2, lon2);
    // Rounded components leave the length of a vector a little off 1, so
    // the same point would come out a few kilometres from itself, or as
    // NaN when the dot product rounds above 1.
    if (a.x == b.x && a.y == b.y && a.z == b.z)
        return 0.0f;
    double dot = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                 static_cast<double>(a.z) * b.z;
    dot = std::clamp(dot, -1.0, 1.0);
    return static_cast<float>(std::acos(dot) * earth_radius_km);
}

} // extern "C"
