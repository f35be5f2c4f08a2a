// Tests of the great-circle distance.
#include "kem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double radius_km = 6371.3;

double haversine_km(double lat1, double lon1, double lat2, double lon2) {
    const double rad = M_PI / 180.0;
    double dlat = (lat2 - lat1) * rad, dlon = (lon2 - lon1) * rad;
    double h = std::pow(std::sin(dlat / 2), 2) +
               std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::pow(std::sin(dlon / 2), 2);
    return 2 * radius_km * std::asin(std::sqrt(h));
}

} // namespace

TEST(Calc, EarthDistAlongTheEquatorAndToTheAntipode) {
    EXPECT_NEAR(calc_earth_dist(0, 0, 0, 90), 10008.0, 1.0);
    EXPECT_NEAR(calc_earth_dist(0, -45, 0, 45), 10008.0, 1.0);
    EXPECT_NEAR(calc_earth_dist(0, 0, 0, 180), M_PI * radius_km, 1.0);
    EXPECT_NEAR(calc_earth_dist(90, 0, -90, 0), M_PI * radius_km, 1.0);
    float d = calc_earth_dist(41.98f, -87.90f, -41.98f, 92.10f);
    EXPECT_FALSE(std::isnan(d));
    EXPECT_NEAR(d, M_PI * radius_km, 5.0);
}

TEST(Calc, EarthDistOfAPointWithItselfIsZero) {
    EXPECT_EQ(calc_earth_dist(41.98f, -87.90f, 41.98f, -87.90f), 0.0f);
    EXPECT_EQ(calc_earth_dist(90, 0, 90, 0), 0.0f);
    EXPECT_EQ(calc_earth_dist(-33.95f, 151.18f, -33.95f, 151.18f), 0.0f);
    std::mt19937 gen(1234);
    std::uniform_real_distribution<float> lat(-90, 90), lon(-180, 180);
    for (int i = 0; i < 2000; ++i) {
        float la = lat(gen), lo = lon(gen);
        EXPECT_EQ(calc_earth_dist(la, lo, la, lo), 0.0f) << la << "," << lo;
    }
}

TEST(Calc, EarthDistOfNeighbouringPointsIsSmallAndNeverNaN) {
    std::mt19937 gen(99);
    std::uniform_real_distribution<float> lat(-89, 89), lon(-180, 180);
    for (int i = 0; i < 2000; ++i) {
        float la = lat(gen), lo = lon(gen);
        float d = calc_earth_dist(la, lo, la, std::nextafter(lo, 200.0f));
        EXPECT_TRUE(d >= 0.0f && d < 5.0f) << la << "," << lo << " gave " << d;
    }
}

TEST(Calc, EarthDistAgreesWithTheHaversineFormula) {
    EXPECT_NEAR(calc_earth_dist(41.98f, -87.90f, 39.73f, -86.27f),
                haversine_km(41.98, -87.90, 39.73, -86.27), 1.0);
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> lat(-90, 90), lon(-180, 180);
    for (int i = 0; i < 500; ++i) {
        float a = lat(gen), b = lon(gen), c = lat(gen), d = lon(gen);
        double expected = haversine_km(a, b, c, d);
        if (expected < 100 || expected > 19900)
            continue; // single-precision vectors lose accuracy there
        EXPECT_NEAR(calc_earth_dist(a, b, c, d), expected, 1.0);
        EXPECT_EQ(calc_earth_dist(a, b, c, d), calc_earth_dist(c, d, a, b));
    }
}

TEST(Calc, EarthDistOfMissingOrUnusableInputIsMissing) {
    EXPECT_EQ(calc_earth_dist(-9999, 0, 10, 10), -9999.0f);
    EXPECT_EQ(calc_earth_dist(10, -9999, 10, 10), -9999.0f);
    EXPECT_EQ(calc_earth_dist(10, 10, -9999, 10), -9999.0f);
    EXPECT_EQ(calc_earth_dist(10, 10, 10, -9999), -9999.0f);
    EXPECT_EQ(calc_earth_dist(NAN, 10, 10, 10), -9999.0f);
    EXPECT_EQ(calc_earth_dist(10, 10, 10, INFINITY), -9999.0f);
}
