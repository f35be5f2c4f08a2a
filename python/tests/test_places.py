"""kem.places: the rows kemcity -in KIND prints for the same value, with
the same values, as dicts; and the errors of raw tables."""
import json

import pytest

import kem
from conftest import run_kemcity, same_number

KEMCITY_KIND = {"city": "city", "county": "cnty", "state": "state", "zone": "zone",
                "upair": "upair", "radar": "radar"}

# (kind, value or None, flags): every table and every form of value.
CASES = [
    ("county", "Cook_County_IL", ()),
    ("county", "Autauga", ()),
    ("county", "ST=IN", ()),
    ("state", "ST=IN", ()),
    ("state", None, ()),
    ("zone", "INZ001", ()),
    ("zone", "RA<41.98:-87.90:30", ("nearest",)),
    ("zone", "RA<41.98:-87.90:60", ("nearest", "first")),
    ("city", "Chicago_", ()),
    ("city", "chicago_heights", ()),
    ("city", "Station=KORD", ()),
    ("city", None, ("first",)),
    ("city", "RA<39.77:-86.16:8", ()),
    ("upair", "ABR", ()),
    ("upair", None, ()),
    ("radar", "KIND", ()),
    ("radar", "RA<40:-86:300", ("nearest",)),
    ("radar", "NOPE", ()),
]


def kemcity_rows(kind_args, value, flags, ranged):
    args = list(kind_args) + ["-pa", ",".join(("json",) + flags)]
    if ranged:
        args += ["-ou", "all,Dist"]
    out, _ = run_kemcity(args + ([] if value is None else ["/" + value]))
    return [json.loads(line) for line in out.splitlines()]


def assert_same_rows(got, expected):
    assert len(got) == len(expected)
    for place, record in zip(got, expected):
        assert isinstance(place, kem.Place)
        if "Dist" in record:
            dist, shown = place.pop("Dist"), record.pop("Dist")
            assert same_number(dist, "%.1f" % shown), (place, shown)
        assert place == record
        assert [type(v) for v in place.values()] == [type(v) for v in record.values()]


@pytest.mark.parametrize("kind,value,flags", CASES)
def test_places_are_kemcitys(kind, value, flags):
    ranged = value is not None and value.startswith("RA<")
    expected = kemcity_rows(["-in", KEMCITY_KIND[kind]], value, flags, ranged)
    got = kem.places(kind, *([] if value is None else [value]), nearest="nearest" in flags,
                     first="first" in flags)
    assert_same_rows(got, expected)


def test_numbers_texts_and_missing_values():
    cook = kem.places("county", "Cook_County_IL")[0]
    assert cook["ID"] == 17031 and cook["Zone"] == "ILZ104"
    assert kem.places("county", "Autauga")[0]["ID"] == "01001"  # not a JSON number
    indiana = kem.places("state", "ST=IN")[0]
    assert (indiana["Lat"], indiana["Lon"]) == (39.8386, -86.2191)
    assert "Dist" not in indiana
    near = kem.places("zone", "RA<41.98:-87.90:30", nearest=True)
    assert [p["Dist"] for p in near] == sorted(p["Dist"] for p in near)


def test_a_table_of_ones_own(tmp_path):
    table = tmp_path / "sites.raw"
    table.write_text("Sites\nmade for a test\n----\n"
                     "ID Name ST Lat Lon\n"
                     "AAA Alpha IN 40.0 -86.0 extra 7\n"
                     "BBB Bravo IL -9999 -9999\n"
                     "CCC Charlie_Hill OH 39.5 1e2\n")
    rows = kem.places("city", database=table)
    assert rows == [
        {"ID": "AAA", "Name": "Alpha", "ST": "IN", "Lat": 40.0, "Lon": -86.0, "6": "extra",
         "7": 7},
        {"ID": "BBB", "Name": "Bravo", "ST": "IL", "Lat": None, "Lon": None},
        {"ID": "CCC", "Name": "Charlie_Hill", "ST": "OH", "Lat": 39.5, "Lon": 100.0},
    ]
    out, _ = run_kemcity(["-in", "sites.raw", "-pa", "json"], database_dir=str(tmp_path))
    expected = [json.loads(line) for line in out.splitlines()]
    assert_same_rows(kem.places("city", database=str(table)), expected)
    assert [p["ID"] for p in kem.places("zone", "Charlie", database=table)] == ["CCC"]
    assert rows[1].__geo_interface__["geometry"] is None
    assert rows[0].__geo_interface__["geometry"] == {"type": "Point",
                                                    "coordinates": (-86.0, 40.0)}
    short = tmp_path / "short.raw"
    short.write_text("only a title\n")
    assert kem.places("city", database=short) == []


def test_errors_of_raw_tables(tmp_path, capfd):
    _, err = run_kemcity(["-in", "zone", "RA<41:-87"])
    warning = [line for line in err.splitlines() if line.startswith("Selection value ")]
    with pytest.raises(ValueError) as raised:
        kem.places("zone", "RA<41:-87")
    assert [str(raised.value)] == warning
    with pytest.raises(ValueError, match="nearest needs an RA< value"):
        kem.places("zone", "INZ001", nearest=True)
    with pytest.raises(ValueError, match="one value"):
        kem.places("county", "Cook_County_IL", "Cook_County_GA")
    with pytest.raises(ValueError, match="city, county, state, zone, upair or radar"):
        kem.places("towns")
    with pytest.raises(FileNotFoundError) as raised:
        kem.places("city", database=tmp_path / "none.raw")
    assert raised.value.filename == str(tmp_path / "none.raw")
    with pytest.raises(TypeError):
        kem.places("city", 17031)
    assert capfd.readouterr() == ("", "")


def test_places_to_frame():
    pytest.importorskip("pandas")
    frame = kem.to_frame(kem.places("zone", "RA<41.98:-87.90:30", nearest=True))
    assert list(frame.columns) == ["ID", "Name", "ST", "Lat", "Lon", "Station", "Dist"]
    assert list(frame["ID"]) == ["ILZ103", "ILZ013", "ILZ104"]
