/*
 * calc.cpp - the library's surface calculations and distance for Python,
 * under their own names, over floats or NumPy arrays (pybind11's
 * vectorize), NaN standing for the library's missing value both ways.
 */
#include "module.h"

#include <pybind11/numpy.h>

#include <array>
#include <cmath>
#include <utility>

namespace {

using namespace kempy;

/* ------------------------------------------------------------------------
 * Surface calculations
 * ---------------------------------------------------------------------- */

/* NaN goes in as the library's missing value, which comes out as NaN. */
float to_library(double v) {
    return std::isnan(v) ? static_cast<float>(KEM_MISSING) : static_cast<float>(v);
}
double from_library(float v) {
    return v == KEM_MISSING ? no_value : static_cast<double>(v);
}

template <class> struct as_double { using type = double; };
template <class> struct as_object { using type = py::object; };

bool is_number(const py::object &o) {
    return PyFloat_Check(o.ptr()) || PyLong_Check(o.ptr());
}

template <class F> struct Calc;
template <class... A> struct Calc<float (*)(A...)> {
    template <float (*F)(A...)> static double scalar(typename as_double<A>::type... x) {
        return from_library(F(to_library(x)...));
    }
    /* Plain numbers are computed at once; anything else (arrays, lists,
       NumPy scalars) goes through the vectorized form, which broadcasts. */
    template <float (*F)(A...)>
    static void define(py::module_ &m, const char *name, const char *doc,
                       std::array<const char *, sizeof...(A)> args) {
        static auto *vectorized = new py::object(py::cpp_function(py::vectorize(scalar<F>)));
        auto call = [](typename as_object<A>::type... x) -> py::object {
            if ((is_number(x) && ...))
                return py::float_(scalar<F>(x.template cast<double>()...));
            return (*vectorized)(x...);
        };
        define_args(m, name, doc, call, args, std::index_sequence_for<A...>{});
    }
    template <class Call, size_t... I>
    static void define_args(py::module_ &m, const char *name, const char *doc, Call call,
                            const std::array<const char *, sizeof...(A)> &args,
                            std::index_sequence<I...>) {
        m.def(name, call, py::arg(args[I])..., doc);
    }
};

#define KEM_CALC(name, doc, ...) Calc<decltype(&name)>::define<&name>(m, #name, doc, {__VA_ARGS__})

} // namespace

void kempy::define_calculations(py::module_ &m) {
    KEM_CALC(vapor_pr, "Saturation vapour pressure (mb) over water at temperature t (K).", "t");
    KEM_CALC(temp_vapor_pr, "Temperature (K) whose saturation vapour pressure is e (mb).", "e");
    KEM_CALC(mix_ratio,
             "Mixing ratio (g/kg) at pressure pr (mb) of air whose humidity temp is a dew "
             "point (K), or a vapour pressure (mb) when 100 or less.",
             "temp", "pr");
    KEM_CALC(spec_hum,
             "Specific humidity (g/kg) at pressure pr (mb) of air whose humidity temp is a "
             "dew point (K), or a vapour pressure (mb) when 100 or less.",
             "temp", "pr");
    KEM_CALC(rel_hum,
             "Relative humidity (%) of temperature t and dew point td (K); both 100 or less "
             "are vapour pressures (mb) instead.",
             "t", "td");
    KEM_CALC(dew_temp,
             "Dew point (K) of temperature temp (K) at relative humidity rh (%, taken "
             "within 2 to 100).",
             "temp", "rh");
    KEM_CALC(pot_temp, "Potential temperature (K) of temperature temp (K) at pressure pr (mb).",
             "temp", "pr");
    KEM_CALC(temp_on_dryad,
             "Temperature (K) at pressure pr (mb) on the dry adiabat of potential "
             "temperature pot (K).",
             "pot", "pr");
    KEM_CALC(virt_temp,
             "Virtual temperature (K) of temperature temp (K) with dew point dewp (K, or a "
             "mixing ratio in g/kg when 100 or less) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(virt_pot_temp,
             "Virtual potential temperature (K) of temperature temp (K) with dew point dewp "
             "(K, or a mixing ratio in g/kg when 100 or less) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(temp_on_mixrat,
             "Temperature (K) at pressure pr (mb) on the saturation mixing-ratio line w "
             "(g/kg).",
             "w", "pr");
    KEM_CALC(thetae_on_satad,
             "Equivalent potential temperature (K) of the saturated adiabat through "
             "temperature temp (K) at pressure pr (mb).",
             "temp", "pr");
    KEM_CALC(temp_on_satad,
             "Temperature (K) at pressure pr (mb) on the saturated adiabat of equivalent "
             "potential temperature pot (K).",
             "pot", "pr");
    KEM_CALC(lcl_pres,
             "Pressure (mb) of the lifting condensation level of a parcel of temperature ts "
             "and dew point tds (K) at pressure ps (mb).",
             "ts", "tds", "ps");
    KEM_CALC(lcl_temp,
             "Temperature (K) at the lifting condensation level pl (mb) of a parcel of "
             "temperature ts (K) at pressure ps (mb).",
             "ts", "ps", "pl");
    KEM_CALC(conv_temp,
             "Convective temperature (K) at pressure pr (mb) for the mean mixing ratio wbar "
             "(g/kg) and the convective condensation level pc (mb).",
             "wbar", "pc", "pr");
    KEM_CALC(eq_pot_temp,
             "Equivalent potential temperature (K) of a parcel of temperature temp and dew "
             "point dewp (K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(wet_bulb,
             "Wet-bulb temperature (K) of a parcel of temperature temp and dew point dewp "
             "(K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(wet_bulb_pot_temp,
             "Wet-bulb potential temperature (K) of a parcel of temperature temp and dew "
             "point dewp (K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(interp_temp,
             "Temperature (K) at pressure pr (mb), linear in the logarithm of pressure "
             "between t1 (K) at p1 (mb) and t2 (K) at p2 (mb).",
             "t1", "t2", "p1", "p2", "pr");
    KEM_CALC(wind_chill_temp,
             "Wind chill temperature (K) of temperature temp (K) in wind speed ws (m/s), "
             "the older formula.",
             "temp", "ws");
    KEM_CALC(wind_chill_temp2,
             "Wind chill temperature (K) of temperature temp (K) in wind speed ws (m/s), "
             "the newer formula.",
             "temp", "ws");
    KEM_CALC(wind_chill, "Wind chill index (W/m2) of temperature temp (K) in wind speed ws (m/s).",
             "temp", "ws");
    KEM_CALC(heat_index, "Heat index (K) of temperature temp (K) with dew point dewp (K).", "temp",
             "dewp");
    KEM_CALC(humiture, "Humiture (degrees F) of temperature temp (K) with dew point dewp (K).",
             "temp", "dewp");
    KEM_CALC(temp_hum_index,
             "Temperature-humidity index of temperature temp (K) with dew point dewp (K).", "temp",
             "dewp");
    KEM_CALC(sfc_pr_alt,
             "Station pressure (mb) from altimeter setting alt (mb) at elevation el (m), "
             "under the standard lapse rate.",
             "alt", "el");
    KEM_CALC(pres_alt, "Height (m) of pressure pres (mb) in the standard atmosphere.", "pres");
    KEM_CALC(calc_earth_dist,
             "Great-circle distance (km) between lat1, lon1 and lat2, lon2 (degrees): the "
             "distance of RA< selections and of nearest().",
             "lat1", "lon1", "lat2", "lon2");
}
