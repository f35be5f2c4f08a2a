"""kem.stations, kem.station and kem.nearest: the same stations as kemcity
on the same selections, the errors a user meets, and the cache."""
import os
import pathlib

import pytest

import kem
from conftest import assert_same_station, kemcity_json

# (values, flags): the README's examples, the database whole, radii with
# nearest, and the kinds of value one at a time and together.
SELECTIONS = [
    (("KORD",), ()),
    (("kord",), ()),
    (("ST=IN:P<0",), ()),
    (("ST=IN:P<1",), ()),
    (("03772",), ()),
    (("ST=ON:P<0",), ()),
    (("RA<41.98:-87.90:30",), ()),
    (("RA<41.98:-87.90:30",), ("nearest",)),
    (("RA<42:-88:50",), ("nearest", "first")),
    (("RA<-33.9:151.2:300",), ("nearest",)),
    (("RA<64.8:-147.9:500", "CN=RU"), ("nearest",)),
    ((), ()),
    (("Chicago_",), ()),
    (("KORD", "KMDW", "72530", "EGLL"), ()),
    (("ST=IN:P<0", "KORD", "Seattle"), ()),
    (("CN=CA",), ("first",)),
    (("Lat>40:Lat<45:Lon>-90:Lon<-85",), ()),
    (("CWGM", "HETR"), ()),
    (("WMO=72530",), ()),
    (("XXXX",), ()),
]


@pytest.mark.parametrize("values,flags", SELECTIONS)
def test_stations_are_kemcitys(values, flags):
    expected = kemcity_json(values, flags)
    got = kem.stations(*values, nearest="nearest" in flags, first="first" in flags)
    assert [s.id for s in got] == [r["ID"] for r in expected]
    for station, record in zip(got, expected):
        assert_same_station(station, record)


def test_database_whole_and_its_records():
    every = kem.stations()
    assert len(every) > 5000
    assert len({s.id for s in every}) == len(every)
    kord = kem.station("KORD")
    assert kord == every[[s.id for s in every].index("KORD")]
    assert (kord.name, kord.state, kord.country, kord.wmo) == ("Chicago_O'Hare_Intl", "IL", "US",
                                                               72530)
    # The digits the record holds, not the float's binary expansion.
    assert repr(kord.lat) == "41.9833" and repr(kord.lon) == "-87.9167"
    assert kord.dist is None


def test_plain_values_answer_as_a_scan_does():
    """station() and plain values go through an index; a keyed value that
    selects nothing (CN=ZZ) makes the same selection scan every record."""
    every = kem.stations()
    values = [s.id for s in every] + [s.id.lower() for s in every[::50]]
    values += ["%05d" % s.wmo for s in every[::7] if s.wmo is not None]
    values += [s.name[:n] for s in every[::37] for n in (4, 5, 9, 20)]
    values += ["", "K", "00000", "99999", "Chicago_O'Hare_Intl_X", "-9999"]
    for value in values:
        scanned = kem.stations(value, "CN=ZZ")
        assert kem.stations(value) == scanned, value
        if scanned:
            assert kem.station(value) == scanned[0], value
        else:
            with pytest.raises(KeyError):
                kem.station(value)


def test_duplicates_numbers_and_prefixes_in_a_database_of_ones_own(write_database):
    path = write_database([
        ("Alpha_Field", "IN", "US", "KAAA", 3, 40.0, -86.0, 200, 72001),
        ("Bravo", "IN", "US", "72001", 2, 40.5, -86.5, 210, -9999),
        ("Alpha_Field_South", "IN", "US", "KAAA", 1, 39.0, -86.0, 190, 72002),
        ("72001_Tower", "IL", "US", "KCCC", 0, 41.0, -88.0, -9999, 4),
        ("Nowhere", "--", "ZZ", "KDDD", 9, -9999, -9999, 9999, -9999),
    ])
    ids = lambda *values: [(s.id, s.priority) for s in kem.stations(*values, database=path)]
    assert ids("KAAA") == [("KAAA", 3), ("KAAA", 1)]
    assert kem.station("kaaa", database=path).priority == 3
    assert ids("72001") == [("KAAA", 3), ("72001", 2), ("KCCC", 0)]
    assert ids("00004") == [("KCCC", 0)]
    assert ids("Alpha_Field_S") == [("KAAA", 1)]
    nowhere = kem.station("KDDD", database=path)
    assert (nowhere.state, nowhere.lat, nowhere.lon, nowhere.elevation) == (None, None, None,
                                                                             None)
    assert nowhere.__geo_interface__["geometry"] is None
    for values in (("KAAA",), ("72001",), ("Alpha_Field",), ("RA<40:-86:200",), ()):
        expected = kemcity_json(values, ("nearest",) if values[:1] == ("RA<40:-86:200",) else (),
                                database_dir=str(path.parent), database=path.name)
        got = kem.stations(*values, database=path, nearest=values[:1] == ("RA<40:-86:200",))
        assert [s.id for s in got] == [r["ID"] for r in expected]
        for station, record in zip(got, expected):
            assert_same_station(station, record)


# (lat, lon, n, within_km): places on every side, the antimeridian, a pole,
# radii that keep fewer than n, and n larger than the database.
POSITIONS = [
    (41.98, -87.90, 5, None),
    (41.98, -87.90, 10, 30),
    (51.5, -0.12, 3, 0.5),
    (-33.9, 151.2, 8, None),
    (0.0, 180.0, 4, None),
    (64.8, -179.9, 6, 2000),
    (90.0, 0.0, 5, None),
    (-90.0, 45.0, 2, 5000),
    (39.72, -86.28, 1, 0),
    (10.0, 10.0, 100000, 800),
]


@pytest.mark.parametrize("lat,lon,n,within_km", POSITIONS)
def test_nearest_is_a_radius_sorted_by_distance(lat, lon, n, within_km):
    km = 1e6 if within_km is None else within_km
    expected = kem.stations("RA<%r:%r:%r" % (lat, lon, km), nearest=True)[:n]
    got = kem.nearest(lat, lon, n=n, within_km=within_km)
    assert got == expected
    assert all(s.dist is not None and (within_km is None or s.dist <= within_km) for s in got)
    assert [s.dist for s in got] == sorted(s.dist for s in got)


def test_nearest_against_kemcity():
    expected = kemcity_json(("RA<41.98:-87.90:40",), ("nearest",))
    got = kem.nearest(41.98, -87.90, n=len(expected) + 5, within_km=40)
    assert [s.id for s in got] == [r["ID"] for r in expected]
    for station, record in zip(got, expected):
        assert_same_station(station, record)


def test_errors_name_what_went_wrong(tmp_path, capfd):
    with pytest.raises(KeyError) as err:
        kem.station("NOSUCH")
    assert err.value.args == ("NOSUCH",)

    missing = tmp_path / "absent" / "sao.cty"
    for call in (lambda: kem.stations("KORD", database=missing),
                 lambda: kem.station("KORD", database=str(missing)),
                 lambda: kem.nearest(0, 0, database=missing)):
        with pytest.raises(FileNotFoundError) as err:
            call()
        assert err.value.filename == str(missing)
    with pytest.raises(IsADirectoryError):
        kem.stations(database=tmp_path)

    for item, why in (("P<x", "x is not a number"), ("RA<41:-87", None), ("XX=1", None)):
        with pytest.raises(ValueError) as err:
            kem.stations("KORD", item)
        text = str(err.value)
        assert text.startswith("Selection value %s: " % item), text
        if why:
            assert text == "Selection value %s: %s" % (item, why)
    with pytest.raises(ValueError, match="nearest needs an RA< value"):
        kem.stations("KORD", nearest=True)
    for bad in ((float("nan"), 0), (91, 0), (0, float("inf"))):
        with pytest.raises(ValueError):
            kem.nearest(*bad)
    with pytest.raises(ValueError):
        kem.nearest(0, 0, n=-1)
    with pytest.raises(ValueError):
        kem.nearest(0, 0, within_km=-1)
    with pytest.raises(TypeError):
        kem.stations(72530)
    with pytest.raises(ValueError):
        kem.stations("KO\0RD")
    # Nothing of it reached the standard streams.
    assert capfd.readouterr() == ("", "")


def test_kemcitys_warnings_are_the_value_errors():
    """Where kemcity warns about a value, the module raises the same text."""
    from conftest import run_kemcity
    _, err = run_kemcity(["-in", "dbase", "KORD", "P<x"])
    warnings = [line for line in err.splitlines() if line.startswith("Selection value ")]
    assert len(warnings) == 1, err
    with pytest.raises(ValueError) as raised:
        kem.stations("KORD", "P<x")
    assert str(raised.value) == warnings[0]


def test_database_paths_of_every_form(write_database, tmp_path, monkeypatch):
    path = write_database([("Here", "IN", "US", "KHHH", 0, 40.0, -86.0, 200, 72001)])
    deep = tmp_path.joinpath(*["d" * 40] * 5)  # longer than the library's paths
    deep.mkdir(parents=True)
    long_path = deep / "sao.cty"
    long_path.write_bytes(path.read_bytes())
    # Names that the library's file opening reads as a command or a stream.
    (tmp_path / "-").write_bytes(path.read_bytes())
    (tmp_path / "|touch pwned").write_bytes(path.read_bytes())
    monkeypatch.chdir(tmp_path)
    for database in (path, str(path), os.fsencode(path), pathlib.Path("stations.cty"),
                     long_path, "-", "|touch pwned"):
        assert kem.station("KHHH", database=database).name == "Here", database
    assert not (tmp_path / "pwned").exists()


def test_a_database_is_read_again_once_its_file_changes(write_database):
    path = write_database([("Before", "IN", "US", "KAAA", 0, 40.0, -86.0, 200, 72001)])
    assert kem.station("KAAA", database=path).name == "Before"
    stat = os.stat(path)
    # Another record of the same size, the modification time put back: the
    # file counts as unchanged and its records stay those in memory.
    write_database([("Nope__", "IN", "US", "KAAA", 0, 40.0, -86.0, 200, 72001)])
    os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
    assert kem.station("KAAA", database=path).name == "Before"
    # A new modification time, then a new size: read again each time.
    os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns + 1_000_000))
    assert kem.station("KAAA", database=path).name == "Nope__"
    write_database([("After", "IN", "US", "KAAA", 0, 40.0, -86.0, 200, 72001),
                    ("Second", "IN", "US", "KBBB", 0, 40.0, -86.0, 200, 72002)])
    os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns + 1_000_000))
    assert [s.name for s in kem.stations(database=path)] == ["After", "Second"]
    os.remove(path)
    with pytest.raises(FileNotFoundError):
        kem.station("KAAA", database=path)


def test_geo_interface():
    feature = kem.station("EGLL").__geo_interface__
    assert feature["type"] == "Feature" and feature["id"] == "EGLL"
    assert feature["geometry"] == {"type": "Point", "coordinates": (-0.45, 51.4833)}
    assert feature["properties"]["wmo"] == 3772 and feature["properties"]["state"] is None


def test_to_frame_with_pandas():
    pandas = pytest.importorskip("pandas")
    frame = kem.to_frame(kem.stations("RA<41.98:-87.90:30", nearest=True))
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == list(kem.Station._fields)
    assert list(frame["id"]) == ["KORD", "KPWK", "K06C", "KMDW"]
    assert frame["dist"].is_monotonic_increasing
    assert list(kem.to_frame([]).columns) == list(kem.Station._fields)


def test_to_frame_without_pandas(monkeypatch):
    import sys
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="kem.to_frame needs pandas"):
        kem.to_frame(kem.stations("KORD"))


def test_the_module_documentation_examples():
    import doctest
    assert doctest.testmod(kem).failed == 0
