/*
 * calc.cpp - surface calculations.
 *
 * Pure point formulas for humidity, potential and virtual temperatures,
 * dry and saturated adiabats, the lifting condensation level, comfort
 * indices, altitude and the great-circle distance.  Units: kelvin,
 * millibars, g/kg, percent, m/s, metres, degrees and kilometres.  Every
 * function takes and returns floats and works in double precision inside.
 * Owns no state.  Never fails: missing or unusable input gives the missing
 * value -9999 (or 0 or the input, where a rule says so), and no finite
 * input ever gives a NaN or an infinity.
 *
 * Humidity arguments come in two forms told apart by size: up to 100 a
 * value is already a vapour pressure (a mixing ratio for virt_temp),
 * above it a temperature in kelvin.
 */
#include "kem.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr double missing = KEM_MISSING;
constexpr double p_ref = 1000.0;       // reference pressure of potential temperatures, mb
constexpr double kappa = 0.286;        // Poisson exponent
constexpr double eps_gkg = 622.0;      // ratio of molecular weights, in g/kg
constexpr double satad_k = 2.6518986;  // latent-heat factor of the saturated adiabat
constexpr double vapour_limit = 100.0; // humidity arguments up to this are vapour pressures
constexpr double wind_skin_k = 306.15; // skin temperature of the old wind chill formulas
constexpr double deg_to_rad = 0.017453292519943334;
constexpr double earth_radius_km = 100.0 * 63.713;

bool is_missing(double v) {
    return v == missing;
}

// Every result leaves through here: what a float cannot hold is missing.
float out(double v) {
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX ? static_cast<float>(v)
                                                       : static_cast<float>(missing);
}

double kelvin_to_f(double t) {
    return (t - 273.15) * 9.0 / 5.0 + 32.0;
}
double f_to_kelvin(double f) {
    return (f - 32.0) * 5.0 / 9.0 + 273.15;
}

/* ---------------------------------------------------- vapour and humidity */

double sat_vapour(double t) {
    if (t < 0)
        return missing;
    if (t < 100)
        return 0;
    double log_e = 23.832241 - 5.02808 * std::log10(t) -
                   1.3816e-7 * std::pow(10.0, 11.344 - 0.0303998 * t) +
                   0.008132801 * std::pow(10.0, 3.49149 - 1302.8844 / t) - 2949.076 / t;
    return std::pow(10.0, log_e);
}

// Temperature whose saturation vapour pressure is e.
double sat_temp(double e) {
    if (e <= 0)
        return 0;
    double bend = std::pow(e, 0.0915) - 1.2035;
    return std::pow(10.0, 0.0498646455 * std::log10(e) + 2.4082965) - 7.08475 +
           38.9114 * bend * bend;
}

double vapour_of(double humidity) {
    return humidity <= vapour_limit ? humidity : sat_vapour(humidity);
}

// Mixing ratio of vapour pressure e in air at pr.  Vapour pressure that
// reaches the whole pressure leaves no dry air to mix with: missing.
double mixing(double e, double pr) {
    if (!(e < pr))
        return missing;
    return eps_gkg * e / (pr - e);
}

// Saturation mixing ratio of a temperature, whatever its size.
double sat_mixing(double t, double pr) {
    return mixing(sat_vapour(t), pr);
}

double mix_ratio_of(double humidity, double pr) {
    if (is_missing(humidity) || is_missing(pr))
        return missing;
    if (humidity <= 0 || pr <= 0)
        return 0;
    return mixing(vapour_of(humidity), pr);
}

double temp_on_mixrat_of(double w, double pr) {
    if (w <= 0 || pr <= 0)
        return 0;
    return sat_temp(w * pr / (eps_gkg + w));
}

/* ------------------------------------------------------------ adiabats */

double pot_temp_of(double temp, double pr) {
    if (pr <= 0 || temp <= 0)
        return missing;
    return temp * std::pow(p_ref / pr, kappa);
}

double temp_on_dryad_of(double pot, double pr) {
    if (pot <= 0 || pr <= 0)
        return 0;
    return pot * std::pow(pr / p_ref, kappa);
}

double virt_temp_of(double temp, double dewp, double pr) {
    if (temp <= 0 || dewp < 0 || pr < 0)
        return missing;
    if (dewp == 0)
        return temp;
    double w = dewp <= vapour_limit ? dewp : mix_ratio_of(dewp, pr);
    if (is_missing(w))
        return missing;
    return (1 + 0.609 * w / 1000) * temp;
}

double thetae_on_satad_of(double temp, double pr) {
    if (temp <= 0 || pr <= 0)
        return 0;
    double w = sat_mixing(temp, pr);
    if (is_missing(w))
        return missing;
    return temp * std::pow(p_ref / pr, kappa) * std::exp(satad_k * w / temp);
}

// How far the saturated adiabat `pot` lies above temperature t at pr, in
// potential temperature.  Air that would be all vapour counts as too warm,
// the limit of an ever larger mixing ratio.
double satad_excess(double pot, double t, double pr) {
    double theta = pot_temp_of(t, pr);
    double w = sat_mixing(t, pr);
    if (is_missing(w))
        return -theta;
    return pot * std::exp(-satad_k * w / t) - theta;
}

// Bisection from 253.16 K with a first step of 60 K: the answer lies
// within about 133-373 K.
double temp_on_satad_of(double pot, double pr) {
    if (!(pot > 0) || !(pr > 0) || pr > 2000) // NaN included
        return missing;
    double t = 253.16, step = 120;
    for (int round = 0; round < 12; ++round) {
        double c = satad_excess(pot, t, pr);
        if (c * c < 2e-5)
            break;
        step /= 2;
        t += c > 0 ? step : -step;
    }
    return t;
}

/* --------------------------------------------------- condensation level */

// Moves p along the parcel's dry adiabat until the mixing-ratio line of
// its dew point meets it.  A correction that leaves the positive numbers
// (an overflow or an underflow to 0) has no answer.
double lcl_pres_of(double ts, double tds, double ps) {
    if (ts <= 100 || tds <= 100 || ps <= 0 || ps > 1100)
        return missing;
    double w = mix_ratio_of(tds, ps);
    if (is_missing(w))
        return missing;
    double theta = pot_temp_of(ts, ps);
    double p = ps;
    for (int correction = 0; correction < 8; ++correction) {
        double d = temp_on_mixrat_of(w, p) - temp_on_dryad_of(theta, p);
        if (d * d <= 1e-4)
            break;
        p *= std::pow(2.0, 0.02 * d);
        if (!(p > 0) || !std::isfinite(p))
            return missing;
    }
    return p;
}

double lcl_temp_of(double ts, double ps, double pl) {
    double theta = pot_temp_of(ts, ps);
    if (is_missing(theta) || is_missing(pl))
        return missing;
    return temp_on_dryad_of(theta, pl);
}

// Equivalent potential temperature of a parcel with a dew point: the
// saturated adiabat through its condensation level.
double parcel_thetae(double temp, double dewp, double pr) {
    double pl = lcl_pres_of(temp, dewp, pr);
    if (is_missing(pl))
        return missing;
    return thetae_on_satad_of(lcl_temp_of(temp, pr, pl), pl);
}

bool bad_parcel(double temp, double dewp, double pr) {
    return temp <= 0 || dewp < 0 || pr < 0;
}

/* ------------------------------------------------------------- comfort */

bool bad_chill(double temp, double ws) {
    return ws < 0 || temp < 0;
}

bool calm_or_warm(double temp, double ws) {
    return ws < 2 || temp > wind_skin_k;
}

double heat_regression(double t, double rh) {
    double t2 = t * t, t3 = t2 * t, rh2 = rh * rh, rh3 = rh2 * rh;
    return 16.923 + 0.185212 * t + 5.37941 * rh - 0.100254 * t * rh + 0.00941695 * t2 +
           0.00728898 * rh2 + 3.45372e-4 * t2 * rh - 8.14971e-4 * t * rh2 + 1.02102e-5 * t2 * rh2 -
           3.8646e-5 * t3 + 2.91583e-5 * rh3 + 1.42721e-6 * t3 * rh + 1.97483e-7 * t * rh3 -
           2.18429e-8 * t3 * rh2 + 8.43296e-10 * t2 * rh3 - 4.81975e-11 * t3 * rh3;
}

double heat_index_of(double temp, double dewp) {
    if (temp < 0 || dewp < 0 || temp < dewp)
        return missing;
    double e_sat = sat_vapour(temp);
    if (!(e_sat > 0))
        return missing;
    double rh = 100 * sat_vapour(dewp) / e_sat;
    double t = kelvin_to_f(temp);
    double first = 1.2 * (t - 68) + 60.8 + 0.0936 * rh;
    return f_to_kelvin(first < 77 ? first : heat_regression(t, rh));
}

/* ------------------------------------------------------------ distance */

bool usable(float value) {
    return value != KEM_MISSING && std::isfinite(value);
}

} // namespace

extern "C" {

float vapor_pr(float t) {
    return out(sat_vapour(t));
}

float temp_vapor_pr(float e) {
    return out(sat_temp(e));
}

float mix_ratio(float temp, float pr) {
    return out(mix_ratio_of(temp, pr));
}

float spec_hum(float temp, float pr) {
    if (is_missing(temp) || is_missing(pr))
        return out(missing);
    if (temp <= 0 || pr <= 0)
        return 0;
    double e = vapour_of(temp);
    return out(e < pr ? eps_gkg * e / pr : missing);
}

float rel_hum(float t, float td) {
    if (t <= 0 || td <= 0)
        return out(missing);
    if (t <= vapour_limit && td <= vapour_limit)
        return out(100.0 * td / t);
    double e_sat = sat_vapour(t);
    return out(e_sat > 0 ? 100 * sat_vapour(td) / e_sat : missing);
}

float dew_temp(float temp, float rh) {
    if (is_missing(rh) || temp <= 0)
        return out(missing);
    double held = std::clamp(static_cast<double>(rh), 2.0, 100.0);
    return out(sat_temp(sat_vapour(temp) * held / 100));
}

float pot_temp(float temp, float pr) {
    return out(pot_temp_of(temp, pr));
}

float temp_on_dryad(float pot, float pr) {
    return out(temp_on_dryad_of(pot, pr));
}

float virt_temp(float temp, float dewp, float pr) {
    return out(virt_temp_of(temp, dewp, pr));
}

float virt_pot_temp(float temp, float dewp, float pr) {
    if (bad_parcel(temp, dewp, pr))
        return out(missing);
    if (dewp == 0)
        return out(pot_temp_of(temp, pr));
    double tv = virt_temp_of(temp, dewp, pr);
    if (pr == 0 || is_missing(tv))
        return out(missing);
    return out(tv * std::pow(p_ref / pr, kappa));
}

float temp_on_mixrat(float w, float pr) {
    return out(temp_on_mixrat_of(w, pr));
}

float thetae_on_satad(float temp, float pr) {
    return out(thetae_on_satad_of(temp, pr));
}

float temp_on_satad(float pot, float pr) {
    return out(temp_on_satad_of(pot, pr));
}

float lcl_pres(float ts, float tds, float ps) {
    return out(lcl_pres_of(ts, tds, ps));
}

float lcl_temp(float ts, float ps, float pl) {
    return out(lcl_temp_of(ts, ps, pl));
}

float conv_temp(float wbar, float pc, float pr) {
    double theta = pot_temp_of(temp_on_mixrat_of(wbar, pc), pc);
    if (is_missing(theta) || is_missing(pr))
        return out(missing);
    return out(temp_on_dryad_of(theta, pr));
}

float eq_pot_temp(float temp, float dewp, float pr) {
    if (bad_parcel(temp, dewp, pr))
        return out(missing);
    if (dewp == 0)
        return out(pot_temp_of(temp, pr));
    return out(parcel_thetae(temp, dewp, pr));
}

float wet_bulb(float temp, float dewp, float pr) {
    if (bad_parcel(temp, dewp, pr))
        return out(missing);
    if (dewp == 0)
        return 0;
    return out(temp_on_satad_of(parcel_thetae(temp, dewp, pr), pr));
}

float wet_bulb_pot_temp(float temp, float dewp, float pr) {
    if (bad_parcel(temp, dewp, pr))
        return out(missing);
    if (dewp == 0)
        return 0;
    return out(temp_on_satad_of(parcel_thetae(temp, dewp, pr), p_ref));
}

// Linear in the logarithm of pressure.  Two levels at one pressure give
// no gradient: their common temperature, or missing when they disagree.
float interp_temp(float t1, float t2, float p1, float p2, float pr) {
    if (p1 <= 0 || p2 <= 0 || (is_missing(t1) && is_missing(t2)))
        return out(missing);
    if (is_missing(t1) || is_missing(t2))
        return out(is_missing(t1) ? t2 : t1);
    if (pr <= 0)
        return out(missing);
    if (p1 == p2)
        return out(t1 == t2 ? t1 : missing);
    return out(t1 - std::log(static_cast<double>(pr) / p1) * (static_cast<double>(t2) - t1) /
                        std::log(static_cast<double>(p1) / p2));
}

float wind_chill_temp(float temp, float ws) {
    if (bad_chill(temp, ws))
        return out(missing);
    if (calm_or_warm(temp, ws))
        return out(temp);
    double v = std::min(static_cast<double>(ws), 26.0);
    return out(wind_skin_k -
               (0.474266 + 0.453843 * std::sqrt(v) - 0.0453843 * v) * (wind_skin_k - temp));
}

float wind_chill_temp2(float temp, float ws) {
    if (bad_chill(temp, ws))
        return out(missing);
    double w = 0.6215 * temp + 116.514 + std::pow(ws, 0.16) * (0.4863 * temp - 146.774);
    return out(std::min(static_cast<double>(temp), w));
}

float wind_chill(float temp, float ws) {
    if (bad_chill(temp, ws))
        return out(missing);
    if (calm_or_warm(temp, ws))
        return out(temp);
    double v = std::min(static_cast<double>(ws), 26.0);
    return out((10.45 + 10 * std::sqrt(v) - v) * 1.1627 * (wind_skin_k - temp));
}

float heat_index(float temp, float dewp) {
    return out(heat_index_of(temp, dewp));
}

float humiture(float temp, float dewp) {
    if (temp < 0 || dewp < 0)
        return out(missing);
    double h = sat_vapour(dewp) - 21;
    return out(h < 0 ? temp : kelvin_to_f(temp) + h);
}

float temp_hum_index(float temp, float dewp) {
    if (temp < 0 || dewp < 0)
        return out(missing);
    return out(0.55 * temp + 0.2 * dewp + 17.5);
}

// Station pressure under the standard lapse rate; above the height where
// the standard atmosphere reaches 0 K there is none.
float sfc_pr_alt(float alt, float el) {
    if (alt <= 0 || is_missing(el))
        return out(missing);
    double ratio = (288.15 - 0.0065 * el) / 288.15;
    return out(ratio < 0 ? missing : alt * std::pow(ratio, 5.2558));
}

// Height of a pressure in the standard atmosphere: the troposphere's lapse
// rate up to 226.32 mb, the isothermal layer above.
float pres_alt(float pres) {
    if (pres <= 0)
        return out(missing);
    if (pres < 226.32)
        return out(11000 + 6341.62 * std::log(226.32 / pres));
    return out((288.15 - 288.15 * std::pow(pres / 1013.25, 0.190263)) / 0.0065);
}

// The haversine formula in double precision, in its atan2 form, which
// stays exact for points metres apart and for points near the antipode.
float calc_earth_dist(float lat1, float lon1, float lat2, float lon2) {
    if (!usable(lat1) || !usable(lon1) || !usable(lat2) || !usable(lon2))
        return KEM_MISSING;
    double phi1 = lat1 * deg_to_rad, phi2 = lat2 * deg_to_rad;
    double s_lat = std::sin((phi2 - phi1) / 2);
    double s_lon = std::sin((static_cast<double>(lon2) - lon1) * deg_to_rad / 2);
    double h =
        std::clamp(s_lat * s_lat + std::cos(phi1) * std::cos(phi2) * s_lon * s_lon, 0.0, 1.0);
    return static_cast<float>(2 * std::atan2(std::sqrt(h), std::sqrt(1 - h)) * earth_radius_km);
}

} // extern "C"
