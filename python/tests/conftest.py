"""Shared helpers of the module's tests: kemcity run as a user runs it, on
the same data, for the module's answers to be held against."""
import json
import os
import subprocess
import tempfile

import pytest

KEMCITY = os.environ.get("KEMCITY", "kemcity")
SOURCE_DIR = os.environ.get("KEM_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(os.path.dirname(__file__))))
DATA_DIR = os.path.join(SOURCE_DIR, "data")


def run_kemcity(args, database_dir=DATA_DIR):
    """kemcity's standard output and error for `args`, run in an empty
    directory with no defaults file or kem* variable of the machine."""
    with tempfile.TemporaryDirectory() as empty:
        env = {"PATH": "/usr/bin:/bin", "kemdefault": empty}
        done = subprocess.run([KEMCITY, "-fp", database_dir] + list(args), env=env, cwd=empty,
                              capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    return done.stdout, done.stderr


def kemcity_json(values, flags=(), database_dir=DATA_DIR, database="sao.cty"):
    """The records `kemcity -in dbase -pa json` prints for `values`, every
    number kept as the text it printed."""
    pa = ",".join(("json",) + tuple(flags))
    out, _ = run_kemcity(["-cf", database, "-pa", pa, "-ou", "all,Dist"]
                         + ["/" + v for v in values], database_dir)
    return [json.loads(line, parse_float=str, parse_int=str) for line in out.splitlines()]


def same_number(value, text):
    """True when `value` reads as `text`, printed with as many decimals as
    `text` has (every digit of the float, or the two decimals of a listing)."""
    decimals = len(text.split(".")[1]) if "." in text else 0
    return abs(value - float(text)) <= 0.5 * 10 ** -decimals + 1e-9


def assert_same_station(station, record):
    """A Station against one record of kemcity's JSON."""
    assert station.name == record["Name"]
    assert station.state == (None if record["ST"] in (None, "--") else record["ST"])
    assert station.country == record["CN"]
    assert station.id == record["ID"]
    assert station.priority == int(record["P"])
    for value, text in ((station.lat, record["Lat"]), (station.lon, record["Lon"])):
        if text is None or float(text) == -9999:
            assert value is None
        else:
            assert same_number(value, text), (station, record)
    if record["Elev"] is None:
        assert station.elevation is None
    else:
        assert same_number(station.elevation, record["Elev"]), (station, record)
    assert station.wmo == (None if record["WMO"] is None else int(record["WMO"]))
    if record.get("Dist") is None:
        assert station.dist is None
    else:
        assert same_number(station.dist, record["Dist"]), (station, record)


@pytest.fixture
def write_database(tmp_path):
    """Writes station records (name, state, country, id, priority, lat, lon,
    elevation, wmo) as a database file; its path."""
    def write(rows, name="stations.cty"):
        path = tmp_path / name
        lines = ["%-20s %-2s %-2s %-6s %d %10.4f %10.4f %5d %6d %5d\n" % (row + (i + 1,))
                 for i, row in enumerate(rows)]
        path.write_text("".join(lines))
        return path
    return write
