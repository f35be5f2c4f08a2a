// Tests of the surface calculations: edge cases of each formula, values
// against published tables and charts, and a grid of odd inputs.
#include "kem.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double radius_km = 6371.3;

double haversine_km(double lat1, double lon1, double lat2, double lon2) {
    const double rad = M_PI / 180.0;
    double dlat = (lat2 - lat1) * rad, dlon = (lon2 - lon1) * rad;
    double h = std::pow(std::sin(dlat / 2), 2) +
               std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::pow(std::sin(dlon / 2), 2);
    return 2 * radius_km * std::asin(std::sqrt(h));
}

/* The central angle from the cross and dot products of the unit vectors,
   in long double: a formula of its own, exact at every distance. */
double vector_km(double lat1, double lon1, double lat2, double lon2) {
    const long double rad = M_PI / 180.0L;
    auto unit = [&](long double la, long double lo) {
        return std::array<long double, 3>{cosl(la * rad) * cosl(lo * rad),
                                          cosl(la * rad) * sinl(lo * rad), sinl(la * rad)};
    };
    auto a = unit(lat1, lon1), b = unit(lat2, lon2);
    long double cx = a[1] * b[2] - a[2] * b[1], cy = a[2] * b[0] - a[0] * b[2],
                cz = a[0] * b[1] - a[1] * b[0];
    long double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    return static_cast<double>(atan2l(sqrtl(cx * cx + cy * cy + cz * cz), dot) * radius_km);
}

constexpr float missing = KEM_MISSING;

double to_f(double kelvin) {
    return (kelvin - 273.15) * 9 / 5 + 32;
}
float to_k(double fahrenheit) {
    return static_cast<float>((fahrenheit - 32) * 5 / 9 + 273.15);
}

struct Case {
    const char *what;
    float got, want, tolerance;
};

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

/* Within 1 m and a millionth wherever the points lie: near each other,
   at the antipode, at the poles and across the date line. */
TEST(Calc, EarthDistAgreesWithTheVectorFormulaAtEveryRange) {
    std::mt19937 gen(2026);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180), unit(0, 1);
    auto near = [&](double la, double lo) { /* 1 m to 1 km away */
        double km = 0.001 + unit(gen) * 0.999, bearing = unit(gen) * 2 * M_PI;
        double dla = km / 111.2 * std::cos(bearing);
        double dlo = km / (111.2 * std::max(std::cos(la * M_PI / 180), 0.01)) * std::sin(bearing);
        return std::pair{std::clamp(la + dla, -90.0, 90.0), lo + dlo};
    };
    for (int i = 0; i < 20000; ++i) {
        double la1 = lat(gen), lo1 = lon(gen), la2 = 0, lo2 = 0;
        switch (i % 5) {
        case 0: std::tie(la2, lo2) = near(la1, lo1); break;
        case 1: la2 = -la1 + unit(gen) * 0.01, lo2 = lo1 + 180 - unit(gen) * 0.01; break;
        case 2: la1 = 90 - unit(gen) * 0.5, la2 = 90 - unit(gen) * 0.5, lo2 = lon(gen); break;
        case 3: lo1 = 180 - unit(gen) * 0.5, lo2 = -180 + unit(gen) * 0.5, la2 = la1; break;
        default: la2 = lat(gen), lo2 = lon(gen); break;
        }
        auto a = static_cast<float>(la1), b = static_cast<float>(lo1);
        auto c = static_cast<float>(la2), d = static_cast<float>(lo2);
        double want = vector_km(a, b, c, d);
        EXPECT_NEAR(calc_earth_dist(a, b, c, d), want, 0.001 + 1e-6 * want)
            << a << "," << b << " to " << c << "," << d;
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

TEST(Calc, EarthDistBetweenAirportsMatchesPublishedDistances) {
    struct Route {
        const char *what;
        float lat1, lon1, lat2, lon2, miles; // published airline distance in statute miles
    };
    const Route routes[] = {
        {"JFK-LAX", 40.6398f, -73.7789f, 33.9425f, -118.4081f, 2475},
        {"JFK-LHR", 40.6398f, -73.7789f, 51.4700f, -0.4543f, 3451},
        {"LAX-SYD", 33.9425f, -118.4081f, -33.9461f, 151.1772f, 7488},
        {"ORD-ATL", 41.9786f, -87.9048f, 33.6367f, -84.4281f, 606},
        {"ORD-DEN", 41.9786f, -87.9048f, 39.8617f, -104.6731f, 888},
    };
    for (const Route &r : routes) {
        double km = r.miles * 1.609344;
        EXPECT_NEAR(calc_earth_dist(r.lat1, r.lon1, r.lat2, r.lon2), km, 0.005 * km) << r.what;
    }
}

TEST(Calc, EdgeCasesOfEachFormula) {
    const float pot = pot_temp(300, 850);
    const Case cases[] = {
        {"vapor_pr below 100 K", vapor_pr(50), 0, 0},
        {"mix_ratio of a vapour pressure", mix_ratio(10, 1000), 622.0f * 10 / 990, 1e-3f},
        {"dew_temp at 100 %", dew_temp(290, 100), 290, 0.05f},
        {"dew_temp holds 1 % at 2 %", dew_temp(290, 1), dew_temp(290, 2), 0},
        {"temp_on_dryad of 0", temp_on_dryad(0, 500), 0, 0},
        {"virt_pot_temp of a dry parcel", virt_pot_temp(300, 0, 850), pot, 1e-3f},
        {"temp_on_mixrat of 0", temp_on_mixrat(0, 1000), 0, 0},
        {"thetae_on_satad of 0 K", thetae_on_satad(0, 1000), 0, 0},
        {"eq_pot_temp of a dry parcel", eq_pot_temp(300, 0, 850), pot, 1e-3f},
        {"wet_bulb of a dry parcel", wet_bulb(300, 0, 1000), 0, 0},
        {"interp_temp, t2 missing", interp_temp(280, missing, 1000, 500, 700), 280, 0},
        {"interp_temp at p2", interp_temp(280, 260, 1000, 500, 500), 260, 1e-3f},
        {"interp_temp halfway in log p", interp_temp(280, 260, 1000, 250, 500), 270, 1e-3f},
        {"interp_temp, one level twice", interp_temp(280, 280, 700, 700, 500), 280, 0},
        {"wind_chill_temp when calm", wind_chill_temp(250, 1.5f), 250, 0},
        {"wind_chill_temp2 when calm", wind_chill_temp2(250, 0), 250, 0},
        {"wind_chill when calm", wind_chill(250, 1.5f), 250, 0},
        {"humiture of dry air", humiture(300, 250), 300, 0},
        {"pres_alt at the tropopause", pres_alt(226.32f), 11000, 0.5f},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(c.got, c.want, c.tolerance) << c.what;
}

TEST(Calc, MissingOrUnusableInputGivesTheMissingValue) {
    const float results[] = {
        vapor_pr(-1), mix_ratio(missing, 1000), spec_hum(10, missing), rel_hum(0, 280),
        rel_hum(280, missing), dew_temp(290, missing), dew_temp(0, 50), pot_temp(280, 0),
        virt_temp(300, -1, 1000), temp_on_satad(300, 2001), temp_on_satad(0, 1000),
        lcl_pres(100, 90, 1000), lcl_pres(300, 290, 1101), lcl_temp(300, 850, missing),
        conv_temp(0, 850, 1000), eq_pot_temp(300, 290, missing), wet_bulb(0, 290, 1000),
        interp_temp(missing, missing, 1000, 500, 700), interp_temp(280, 260, 0, 500, 700),
        wind_chill_temp(-1, 5), wind_chill_temp2(250, -1), wind_chill(250, -1),
        heat_index(300, 310), heat_index(50, 40), humiture(-1, 290), temp_hum_index(300, -1),
        sfc_pr_alt(0, 100), sfc_pr_alt(1013.25f, missing),
        // Mended: each of these divided by zero, took the log or a root of
        // a negative number, or overflowed.
        interp_temp(280, 260, 700, 700, 500), interp_temp(280, 260, 1000, 500, missing),
        interp_temp(280, 260, 1000, 500, 0), virt_pot_temp(300, 290, 0), mix_ratio(10, 10),
        spec_hum(10, 10), mix_ratio(373.15f, 500), pres_alt(0), pres_alt(-5), pres_alt(missing),
        lcl_pres(3e38f, 300, 1000), sfc_pr_alt(1013.25f, 50000)};
    for (size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], missing) << "result " << i;
}

TEST(Calc, NoFiniteInputGivesNaNOrInfinity) {
    const float odd[] = {missing, -1e30f,  -1,      0,    1e-30f, 1,    50,
                         100,     226.32f, 273.15f, 1000, 2000,   3e38f};
    using Two = float (*)(float, float);
    using Three = float (*)(float, float, float);
    int bad = 0;
    for (Two f : {mix_ratio, spec_hum, rel_hum, dew_temp, pot_temp, temp_on_dryad, temp_on_mixrat,
                  thetae_on_satad, temp_on_satad, wind_chill_temp, wind_chill_temp2, wind_chill,
                  heat_index, humiture, temp_hum_index, sfc_pr_alt})
        for (float a : odd)
            for (float b : odd)
                bad += !std::isfinite(f(a, b)) + !std::isfinite(vapor_pr(a)) +
                       !std::isfinite(temp_vapor_pr(a)) + !std::isfinite(pres_alt(a));
    for (Three f : {virt_temp, virt_pot_temp, lcl_pres, lcl_temp, conv_temp, eq_pot_temp, wet_bulb,
                    wet_bulb_pot_temp})
        for (float a : odd)
            for (float b : odd)
                for (float c : odd)
                    for (float d : odd)
                        bad +=
                            !std::isfinite(f(a, b, c)) + !std::isfinite(interp_temp(a, b, c, d, b));
    EXPECT_EQ(bad, 0);
}

TEST(Calc, SaturationVapourPressureMatchesPublishedTables) {
    // Vapour pressure of water, CRC Handbook of Chemistry and Physics (mb).
    const struct {
        float kelvin, mb;
    } table[] = {{273.15f, 6.112f},  {283.15f, 12.281f}, {293.15f, 23.388f},
                 {303.15f, 42.455f}, {313.15f, 73.814f}, {373.15f, 1013.25f}};
    for (const auto &row : table) {
        EXPECT_NEAR(vapor_pr(row.kelvin), row.mb, 0.005 * row.mb) << row.kelvin;
        if (row.kelvin < 350) { // the inverse is fitted to the atmosphere's range
            EXPECT_NEAR(temp_vapor_pr(row.mb), row.kelvin, 0.15) << row.mb;
        }
    }
}

TEST(Calc, AltitudesFollowTheUSStandardAtmosphere) {
    // U.S. Standard Atmosphere, 1976: pressure (mb) at geopotential altitude (m).
    const struct {
        float metres, mb;
    } table[] = {{0, 1013.25f},   {1000, 898.76f},  {2000, 795.01f},  {5000, 540.48f},
                 {8000, 356.51f}, {11000, 226.32f}, {15000, 120.45f}, {20000, 54.75f}};
    for (const auto &row : table) {
        EXPECT_NEAR(pres_alt(row.mb), row.metres, 10) << row.mb;
        if (row.metres > 11000)
            continue; // the lapse rate of sfc_pr_alt holds in the troposphere only
        EXPECT_NEAR(sfc_pr_alt(1013.25f, row.metres), row.mb, 0.002 * row.mb) << row.metres;
    }
}

TEST(Calc, HeatIndexMatchesTheNationalWeatherServiceChart) {
    // National Weather Service heat index chart (F) by air temperature (F)
    // and relative humidity (%), as in Technical Attachment SR 90-23.
    const struct {
        int f, rh, chart;
    } chart[] = {{80, 40, 80},  {80, 50, 81},  {80, 60, 82},  {80, 70, 83},  {84, 40, 83},
                 {84, 50, 85},  {84, 60, 88},  {84, 70, 90},  {88, 40, 88},  {88, 50, 91},
                 {88, 60, 95},  {88, 70, 100}, {90, 40, 91},  {90, 50, 95},  {90, 60, 100},
                 {90, 70, 106}, {92, 40, 94},  {92, 50, 99},  {92, 60, 105}, {92, 70, 112},
                 {96, 40, 101}, {96, 50, 108}, {96, 60, 116}, {96, 70, 126}};
    double bias = 0;
    for (const auto &cell : chart) {
        float t = to_k(cell.f);
        double got = to_f(heat_index(t, dew_temp(t, cell.rh)));
        EXPECT_NEAR(got, cell.chart, 2) << cell.f << " F at " << cell.rh << " %";
        bias += (got - cell.chart) / std::size(chart);
    }
    // A regression constant of 16 instead of 16.923 reads 0.923 F low everywhere.
    EXPECT_LT(std::fabs(bias), 0.5);
}

TEST(Calc, WindChillMatchesTheNationalWeatherServiceChartOf2001) {
    // National Weather Service wind chill chart (F), 2001, by air
    // temperature (F) and wind speed (mph).
    const struct {
        int f, mph, chart;
    } chart[] = {{40, 5, 36},    {40, 15, 32},   {40, 30, 28},   {40, 60, 25},  {20, 15, 6},
                 {20, 30, 1},    {0, 5, -11},    {0, 15, -19},   {0, 30, -26},  {0, 60, -33},
                 {-20, 15, -45}, {-20, 60, -62}, {-40, 30, -80}, {-45, 60, -98}};
    for (const auto &cell : chart)
        EXPECT_NEAR(to_f(wind_chill_temp2(to_k(cell.f), cell.mph * 0.44704f)), cell.chart, 1)
            << cell.f << " F at " << cell.mph << " mph";
}

TEST(Calc, SaturatedAdiabatCondensationLevelAndWetBulbAgree) {
    for (float p : {500.0f, 700.0f, 850.0f, 1000.0f, 1050.0f}) {
        for (float t : {230.0f, 250.0f, 270.0f, 290.0f, 305.0f}) {
            EXPECT_NEAR(temp_on_satad(thetae_on_satad(t, p), p), t, 0.1) << t << " K at " << p;
            EXPECT_NEAR(lcl_pres(t, t, p), p, 1) << t << " K at " << p;
        }
    }
    // Stull (2011), Wet-bulb temperature from relative humidity and air
    // temperature: 20 C at 50 % and standard pressure gives 13.7 C.
    float dewp = dew_temp(293.15f, 50);
    EXPECT_NEAR(wet_bulb(293.15f, dewp, 1013.25f), 273.15 + 13.7, 0.3);
    EXPECT_NEAR(wet_bulb_pot_temp(293.15f, dewp, 1000), wet_bulb(293.15f, dewp, 1000), 0.1);
}

/* Below its cloud base a rising parcel keeps its potential temperature and
   its mixing ratio, and so its wet-bulb, equivalent and virtual potential
   temperatures: the values at any pressure are the ones at 1000 mb. */
TEST(Calc, PotentialTemperaturesStayWithAParcelRisingDry) {
    using Three = float (*)(float, float, float);
    const struct {
        const char *what;
        Three f;
    } conserved[] = {{"wet_bulb_pot_temp", wet_bulb_pot_temp},
                     {"eq_pot_temp", eq_pot_temp},
                     {"virt_pot_temp", virt_pot_temp}};
    const struct {
        float t, dewp; // at 1000 mb
    } parcels[] = {{303, 283}, {300, 285}, {290, 275}};
    for (const auto &parcel : parcels) {
        const float pot = pot_temp(parcel.t, 1000), w = mix_ratio(parcel.dewp, 1000);
        for (float p : {950.0f, 850.0f}) {
            float t = temp_on_dryad(pot, p), dewp = temp_on_mixrat(w, p);
            ASSERT_LT(dewp, t) << "above the cloud base at " << p;
            for (const auto &c : conserved)
                EXPECT_NEAR(c.f(t, dewp, p), c.f(parcel.t, parcel.dewp, 1000), 0.05)
                    << c.what << " of " << parcel.t << "/" << parcel.dewp << " lifted to " << p;
        }
    }
}

/* Air heated to the convective temperature rises dry and saturates at
   the cloud base: its condensation level is the base's pressure. */
TEST(Calc, ConvectiveTemperatureReachesSaturationAtTheCloudBase) {
    const struct { float w, base; } clouds[] = {{8, 900}, {8, 800}, {12, 850}};
    for (const auto &c : clouds)
        for (float p : {1000.0f, 950.0f}) {
            float t = conv_temp(c.w, c.base, p), dewp = temp_on_mixrat(c.w, p);
            EXPECT_NEAR(lcl_pres(t, dewp, p), c.base, 1) << c.w << " g/kg from " << p;
        }
}

/* The largest inputs each formula takes, and the ones it treats as its
   largest. */
TEST(Calc, InputsAtTheUpperEndOfTheirRange) {
    const Case cases[] = {
        {"lcl_pres of a saturated parcel at 1100 mb", lcl_pres(290, 290, 1100), 1100, 1},
        {"temp_on_satad at 2000 mb", temp_on_satad(thetae_on_satad(290, 2000), 2000), 290, 0.1f},
        {"dew_temp holds 120 % at 100 %", dew_temp(290, 120), dew_temp(290, 100), 0},
        {"wind_chill_temp holds 40 m/s at 26", wind_chill_temp(250, 40), wind_chill_temp(250, 26),
         0},
        {"wind_chill holds 40 m/s at 26", wind_chill(250, 40), wind_chill(250, 26), 0},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(c.got, c.want, c.tolerance) << c.what;
}

/* Relative humidity is the dew point's vapour pressure over the
   temperature's; specific humidity is 622 e / p, in g/kg. */
TEST(Calc, RelativeAndSpecificHumidity) {
    const Case cases[] = {
        {"rel_hum of 10 mb at 20 mb", rel_hum(20, 10), 50, 1e-3f},
        {"rel_hum of the dew point at 50 %", rel_hum(293.15f, dew_temp(293.15f, 50)), 50, 0.05f},
        {"rel_hum of a dew point 10 K below", rel_hum(293.15f, 283.15f), 52.5f, 0.3f},
        {"spec_hum of 10 mb at 1000 mb", spec_hum(10, 1000), 6.22f, 1e-3f},
        {"spec_hum of 10 mb at 500 mb", spec_hum(10, 500), 12.44f, 1e-3f},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(c.got, c.want, c.tolerance) << c.what;
}
