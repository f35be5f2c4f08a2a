"""Unit tests of the data generator's rules: names, subdivision codes,
extents across the 180th meridian, the position checks, the choice of WMO
numbers and the refusal of a package that is not the pinned one.
Usage: make_data_test.py TOOLS_DIR"""

import math
import os
import struct
import sys
import tempfile
import unittest

try:
    import dbm.gnu as gdbm
except ImportError:
    gdbm = None

sys.path.insert(0, sys.argv.pop(1))
import make_data as md  # noqa: E402


def airport(name, town="", region="XX-YY", lat=0.0, lon=0.0):
    return {"name": name, "municipality": town, "keywords": "", "iso_region": region,
            "latitude_deg": str(lat), "longitude_deg": str(lon)}


def radians(lat, lon):
    return f"({math.radians(lat)}, {math.radians(lon)})"


class Names(unittest.TestCase):
    def test_fitted_whole_words_within_the_field(self):
        for text, name in [
                ("Los Angeles International Airport", "Los_Angeles_Intl"),
                ("Lester B. Pearson International Airport", "Lester_B._Pearson"),
                ("Kavala Alexander the Great International", "Kavala_Alexander"),
                ("Angelholm-Helsingborg Airport", "Angelholm"),
                ("Wright-Patterson Air Force Base", "Wright-Patterson_AFB"),
                ("Winnipeg Int. Airportman.", "Winnipeg_Intl"),
                ("Columbia Metropolitan", "Columbia_Metro"),
                ("Airport", "Airport")]:
            self.assertEqual(md.fitted(md.name_words(text)), name, text)
        self.assertIsNone(md.fitted(md.name_words("Paris-Aeroport Charles De Gaulle"), cut=False))

    def test_which_source_names_the_station(self):
        cdg = airport("Charles de Gaulle International Airport", "Paris")
        for words, text, a, name in [
                (["Chon", "Buri"], "Chon Buri", airport("Suvarnabhumi Airport", "Bangkok"),
                 "Bangkok_Suvarnabhumi"),
                (["Beijing"], "Beijing", airport("Beijing Capital International Airport",
                                                 "Beijing"), "Beijing_Capital_Intl"),
                (["Chicago", "O'Hare"], "Chicago O'Hare",
                 airport("Chicago O'Hare International Airport", "Chicago"), "Chicago_O'Hare"),
                (md.name_words("Paris-Aeroport Charles De Gaulle"), "Paris", cdg,
                 "Charles_de_Gaulle"),
                (["Ponta", "Delgada", "Nordela", "Acores"], "Ponta Delgada",
                 airport("Joao Paulo II Airport", "Ponta Delgada"), "Ponta_Delgada"),
                (["Harrington"], "Harrington", None, "Harrington"),
                ([], "", cdg, "Charles_de_Gaulle")]:
            self.assertEqual(md.station_name(words, text, a), name, text)


class Codes(unittest.TestCase):
    def test_subdivision_code_where_it_fits(self):
        for code, st in [("CA-ON", "ON"), ("TH-10", "10"), ("CV-B", "B"), ("GB-ENG", "--"),
                         ("PR-U-A", "--"), ("AU-NSW", "--")]:
            self.assertEqual(md.Subdivisions.short(code), st, code)

    def test_withdrawn_code_taken_by_its_name(self):
        iso2 = {"CN-BJ": {"code": "CN-BJ", "name": "Beijing Shi"},
                "CN-HE": {"code": "CN-HE", "name": "Hebei Sheng"}}
        codes = md.Subdivisions(iso2, {"CN-11": "Beijing Municipality", "CN-99": "Nowhere"})
        self.assertEqual(codes.of_airport(airport("", region="CN-11")), "BJ")
        self.assertEqual(codes.current("CN-99"), "CN-99")
        self.assertEqual(codes.of_description("CN", "HE"), "HE")
        self.assertEqual(codes.of_description("CN", "ZZ"), "--")


class Positions(unittest.TestCase):
    def test_extent_across_the_180th_meridian(self):
        aleutians = md.Extent([(52.0, 179.6), (61.2, -149.5), (70.0, -130.0)])
        self.assertEqual(aleutians.beyond((55.0, -175.0)), 0.0)
        self.assertAlmostEqual(aleutians.beyond((52.7, 174.1)), 5.5, places=6)
        self.assertAlmostEqual(aleutians.beyond((80.0, -150.0)), 10.0, places=6)

    def test_state_checks(self):
        places = {"fips17031": {"centroid": radians(41.9, -87.6), "description": "Cook, IL"},
                  "fips17119": {"centroid": radians(38.8, -89.9), "description": "Madison, IL"}}
        checks = md.Checks(places, {}, {}, [], [])
        station = md.Place.__new__(md.Place)
        station.region, station.state, station.words = "US", "IL", []
        for where, zones, faulty in [((40.0, -88.0), {"IL"}, False),
                                     ((47.4, -98.1), {"IL"}, True),  # 7 degrees out
                                     ((41.0, -85.9), {"IN"}, True),  # beyond, nearest Indiana
                                     ((41.0, -85.9), {"IL"}, False)]:
            station.own = where
            self.assertEqual(checks.fault(station, zones) is not None, faulty, where)


class WmoNumbers(unittest.TestCase):
    def test_one_agreeing_station_near_or_none(self):
        wmo = [md.WmoStation(72530, 41.98, -87.90, 203, "CHICAGO/O'HARE, IL."),
               md.WmoStation(91520, -9.42, 160.05, 9, "HONIARA/HENDERSON"),
               md.WmoStation(91521, -9.43, 160.05, 9, "HONIARA/HENDERSON AWS"),
               md.WmoStation(72565, 39.86, -104.67, 1656, "DENVER INTERNATIONAL AIRPORT, CO.")]
        stations = {"kord": "Chicago O'Hare International Airport, IL, US",
                    "aggh": "Honiara / Henderson, Solomon Islands",
                    "kfar": "Hector International Airport, ND, US",  # beside O'Hare here
                    "kden": "Denver International Airport, CO, US",
                    "kxxx": "Denver Intl, CO, US"}  # a second code for the same field
        where = {"KORD": (41.9786, -87.9048), "AGGH": (-9.428, 160.055),
                 "KFAR": (41.99, -87.91), "KDEN": (39.8617, -104.673), "KXXX": (39.86, -104.67)}
        merged = [md.Station(sid, sid, "--", "US", 0, *where[sid], None, None)
                  for sid in sorted(where)]
        report = md.Report()
        numbered = md.wmo_numbers(merged, wmo, {}, {k: {"description": v}
                                                   for k, v in stations.items()},
                                  {"us": "US", "solomon islands": "SB"}, report)
        self.assertEqual({s.sid: (s.wmo, s.elev) for s in numbered},
                         {"AGGH": (None, None), "KDEN": (None, None), "KFAR": (None, None),
                          "KORD": (72530, 203), "KXXX": (None, None)})
        for section, first in [("Station numbers refused: more than one agrees", "AGGH"),
                               ("Station numbers refused: names differ", "KFAR"),
                               ("Station numbers refused: more than one station agrees",
                                "72565 KDEN"),
                               ("Station numbers given", "KORD")]:
            self.assertTrue(report.sections[section][0].startswith(first), section)


@unittest.skipUnless(gdbm, "this python3 reads no GNU dbm files")
class WmoList(unittest.TestCase):
    KNOWN = [(72530, 4198, -8790, 203, b"CHICAGO/O'HARE, IL."),
             (72565, 3986, -10467, 1656, b"DENVER INTERNATIONAL AIRPORT, CO."),
             (3772, 5148, -45, 24, b"HEATHROW"), (1001, 7093, -867, 0, b"JAN MAYEN")]

    def write(self, path, height_at):
        with gdbm.open(path, "n") as db:
            for number, lat, lon, height, name in self.KNOWN:
                value = bytearray(struct.pack("<qqq", number, lat, lon) + b"----" + bytes(28))
                struct.pack_into("<i", value, height_at, height)
                db[struct.pack("<i", number)] = bytes(value) + name + b"\0"

    def test_read_as_laid_out_and_checked_on_known_stations(self):
        with tempfile.TemporaryDirectory() as scratch:
            self.write(os.path.join(scratch, "good.db"), 40)
            self.assertEqual(md.read_wmo(os.path.join(scratch, "good.db")),
                             [md.WmoStation(1001, 70.93, -8.67, None, "JAN MAYEN"),
                              md.WmoStation(3772, 51.48, -0.45, 24, "HEATHROW"),
                              md.WmoStation(72530, 41.98, -87.9, 203, "CHICAGO/O'HARE, IL."),
                              md.WmoStation(72565, 39.86, -104.67, 1656,
                                            "DENVER INTERNATIONAL AIRPORT, CO.")])
            self.write(os.path.join(scratch, "other.db"), 48)
            with self.assertRaises(SystemExit):
                md.read_wmo(os.path.join(scratch, "other.db"))


class Package(unittest.TestCase):
    def test_only_the_pinned_package(self):
        with tempfile.TemporaryDirectory() as scratch:
            os.makedirs(os.path.join(scratch, "package", "data"))
            for name in md.AIRPORTS_FILES:
                with open(os.path.join(scratch, "package", "data", name), "w") as f:
                    f.write("[]")
            with open(os.path.join(scratch, "other.tgz"), "wb") as f:
                f.write(b"not the package")
            for path in (scratch, os.path.join(scratch, "other.tgz")):
                with self.assertRaises(SystemExit):
                    md.package_files(path)


if __name__ == "__main__":
    unittest.main()
