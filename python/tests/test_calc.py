"""The surface calculations: scalars and NumPy arrays agree, NaN stands for
missing both ways, and the arguments reach the library in their order."""
import math

import pytest

import kem

# Each function with rows of arguments in the library's units: usable ones,
# then one it has no answer for (NaN), or, for the functions whose rule
# gives 0 there (ZERO_RULE), one out of their range.
CASES = {
    "vapor_pr": [(250.0,), (273.15,), (300.0,), (-5.0,)],
    "temp_vapor_pr": [(1.0,), (6.11,), (35.0,), (-1.0,)],
    "mix_ratio": [(290.0, 1000.0), (280.0, 850.0), (5.0, 1000.0), (400.0, 10.0)],
    "spec_hum": [(290.0, 1000.0), (280.0, 850.0), (5.0, 1000.0), (400.0, 10.0)],
    "rel_hum": [(300.0, 290.0), (280.0, 280.0), (20.0, 10.0), (-1.0, 280.0)],
    "dew_temp": [(300.0, 50.0), (280.0, 100.0), (290.0, 1.0), (-1.0, 50.0)],
    "pot_temp": [(280.0, 850.0), (300.0, 1000.0), (250.0, 300.0), (280.0, 0.0)],
    "temp_on_dryad": [(300.0, 850.0), (300.0, 1000.0), (330.0, 300.0), (-1.0, 850.0)],
    "virt_temp": [(300.0, 290.0, 1000.0), (280.0, 5.0, 850.0), (-1.0, 290.0, 1000.0)],
    "virt_pot_temp": [(300.0, 290.0, 1000.0), (280.0, 5.0, 850.0), (-1.0, 290.0, 1000.0)],
    "temp_on_mixrat": [(10.0, 1000.0), (2.0, 500.0), (0.0, 1000.0)],
    "thetae_on_satad": [(290.0, 1000.0), (270.0, 700.0), (0.0, 1000.0)],
    "temp_on_satad": [(330.0, 850.0), (300.0, 500.0), (330.0, 3000.0)],
    "lcl_pres": [(300.0, 290.0, 1000.0), (290.0, 280.0, 950.0), (300.0, 290.0, 2000.0)],
    "lcl_temp": [(300.0, 1000.0, 870.0), (290.0, 950.0, 800.0), (-1.0, 1000.0, 870.0)],
    "conv_temp": [(10.0, 800.0, 1000.0), (5.0, 700.0, 900.0), (0.0, 0.0, 1000.0)],
    "eq_pot_temp": [(300.0, 290.0, 1000.0), (280.0, 270.0, 850.0), (-1.0, 290.0, 1000.0)],
    "wet_bulb": [(300.0, 290.0, 1000.0), (280.0, 270.0, 850.0), (-1.0, 290.0, 1000.0)],
    "wet_bulb_pot_temp": [(300.0, 290.0, 1000.0), (280.0, 270.0, 850.0),
                          (-1.0, 290.0, 1000.0)],
    "interp_temp": [(290.0, 270.0, 1000.0, 700.0, 850.0), (290.0, 270.0, 0.0, 700.0, 850.0)],
    "wind_chill_temp": [(260.0, 10.0), (300.0, 1.0), (-1.0, 5.0)],
    "wind_chill_temp2": [(260.0, 10.0), (300.0, 1.0), (-1.0, 5.0)],
    "wind_chill": [(260.0, 10.0), (250.0, 30.0), (-1.0, 5.0)],
    "heat_index": [(305.15, 297.15), (300.0, 280.0), (290.0, 300.0)],
    "humiture": [(305.15, 297.15), (300.0, 280.0), (-1.0, 280.0)],
    "temp_hum_index": [(305.15, 297.15), (300.0, 280.0), (-1.0, 280.0)],
    "sfc_pr_alt": [(1013.0, 200.0), (1000.0, 1500.0), (0.0, 100.0)],
    "pres_alt": [(1013.25,), (500.0,), (100.0,), (0.0,)],
    "calc_earth_dist": [(41.98, -87.9, 51.48, -0.45), (0.0, 0.0, 0.0, 180.0),
                        (-9999.0, 0.0, 1.0, 1.0)],
}

ZERO_RULE = {"temp_vapor_pr", "temp_on_dryad", "temp_on_mixrat", "thetae_on_satad"}


def test_every_calculation_is_covered():
    assert sorted(CASES) == sorted(n for n in kem.__all__ if n not in (
        "Station", "Place", "DATA_DIR", "DATABASE", "station", "stations", "nearest", "places",
        "to_frame"))


@pytest.mark.parametrize("name", sorted(CASES))
def test_scalars_floats_and_missing(name):
    f = getattr(kem, name)
    rows = CASES[name]
    results = [f(*row) for row in rows]
    assert all(type(r) is float for r in results)
    # The last row is one the library has no answer for (-9999): NaN.
    assert not math.isnan(results[0])
    if name in ZERO_RULE:
        assert results[-1] == 0
    else:
        assert math.isnan(results[-1])
    # NaN is missing going in as well: as -9999 would be.
    for i in range(len(rows[0])):
        with_nan = list(rows[0])
        with_nan[i] = float("nan")
        as_missing = list(rows[0])
        as_missing[i] = -9999.0
        a, b = f(*with_nan), f(*as_missing)
        assert a == b or (math.isnan(a) and math.isnan(b)), (name, i)
    # Whole numbers are numbers too.
    assert f(*[int(v) for v in rows[0]]) == f(*[float(int(v)) for v in rows[0]])
    assert "(" in f.__doc__ and ")" in f.__doc__  # the units


@pytest.mark.parametrize("name", sorted(CASES))
def test_arrays_agree_with_scalars(name):
    np = pytest.importorskip("numpy")
    f = getattr(kem, name)
    rows = CASES[name]
    columns = [np.array(column) for column in zip(*rows)]
    expected = np.array([f(*row) for row in rows])
    got = f(*columns)
    assert isinstance(got, np.ndarray) and got.shape == (len(rows),)
    np.testing.assert_array_equal(got, expected)
    # Broadcasting: the first row's last argument against a column of the
    # first argument; lists and float32 arrays convert.
    first = columns[0]
    got = f(first, *rows[0][1:])
    np.testing.assert_array_equal(got, [f(v, *rows[0][1:]) for v in first])
    np.testing.assert_array_equal(f(*[list(c) for c in columns]), expected)
    grid = f(*[np.full((2, 3), v, dtype=np.float32) for v in rows[0]])
    assert grid.shape == (2, 3) and np.all(grid == f(*[float(np.float32(v)) for v in rows[0]]))


# Identities that hold only when every argument reaches the library in its
# place: (expression, expected, tolerance).
IDENTITIES = [
    (lambda: kem.pot_temp(287.0, 1000.0), 287.0, 1e-4),
    (lambda: kem.temp_on_dryad(kem.pot_temp(280.0, 850.0), 850.0), 280.0, 1e-3),
    (lambda: kem.temp_vapor_pr(kem.vapor_pr(290.0)), 290.0, 0.1),
    (lambda: kem.rel_hum(290.0, 290.0), 100.0, 1e-4),
    (lambda: kem.dew_temp(290.0, 100.0), 290.0, 0.1),
    (lambda: kem.lcl_temp(300.0, 950.0, 950.0), 300.0, 1e-3),
    (lambda: kem.interp_temp(290.0, 270.0, 1000.0, 700.0, 1000.0), 290.0, 1e-4),
    (lambda: kem.interp_temp(290.0, 270.0, 1000.0, 700.0, 700.0), 270.0, 1e-3),
    (lambda: kem.sfc_pr_alt(1000.0, 0.0), 1000.0, 1e-3),
    (lambda: kem.pres_alt(1013.25), 0.0, 0.01),
    (lambda: kem.wind_chill_temp(300.0, 1.0), 300.0, 1e-4),
    (lambda: kem.virt_temp(300.0, 0.0, 1000.0), 300.0, 1e-4),
    (lambda: kem.calc_earth_dist(0.0, 0.0, 0.0, 1.0), 111.2, 0.05),
    (lambda: kem.calc_earth_dist(0.0, 0.0, 1.0, 0.0), 111.2, 0.05),
]


@pytest.mark.parametrize("expression,expected,tolerance", IDENTITIES)
def test_arguments_in_their_places(expression, expected, tolerance):
    assert abs(expression() - expected) <= tolerance


def test_the_distance_of_selections_is_calc_earth_dist():
    np = pytest.importorskip("numpy")
    for s in kem.nearest(41.98, -87.90, n=20):
        d = kem.calc_earth_dist(41.98, -87.90, s.lat, s.lon)
        assert np.float32(d) == np.float32(s.dist), s


def test_heat_beyond_the_temperature_when_humid():
    assert kem.heat_index(305.15, 297.15) > 305.15
    assert kem.heat_index(305.15, 297.15) > kem.heat_index(305.15, 280.0)
