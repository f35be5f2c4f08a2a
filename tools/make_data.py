#!/usr/bin/env python3
"""Builds kemcity's bundled station database and raw location tables.

Reads the gazetteer and weather-service correlation files of Debian's
weather-util-data package and the country codes of its iso-codes package,
and writes into the output directory (data/ by default):

  sao.cty       the station database: one record per METAR station
  cities.raw    incorporated places of the United States
  counties.raw  counties and county equivalents
  states.raw    states and territories
  zones.raw     public forecast zones

The output depends on nothing but the input files: running the generator
twice on the same package gives identical files.

Priority of a station (0 most important, 9 least):
  0  an airport with an IATA code whose name says International
  1  any other airport with an IATA code that a forecast zone reports by
  2  any other airport with an IATA code
  3  any other station that a forecast zone reports by
  5  any other station with a known location
  9  a station the source lists without a name or location

Usage: make_data.py [--source DIR] [--iso FILE] [OUTPUT_DIR]
"""

import argparse
import gzip
import json
import math
import os
import re
import sys
import unicodedata

NAME_WIDTH = 20  # longest station name in the database
RAW_NAME_WIDTH = 40  # longest name in a raw table
LINE_LIMIT = 159  # longest line the raw-table reader takes as one row
MISSING = -9999
MISSING_ELEV = 9999  # the database marks a missing elevation with a value above 9000

NOTICE = "Built by tools/make_data.py from weather-util-data (ISC; U.S. public-domain sources)"

# Words that say what kind of airfield a station is rather than where it is.
AIRPORT_WORDS = {"airport", "international", "intl", "int'l", "int'l.", "regional",
                 "municipal", "aerodrome", "airfield"}

# Letters that Unicode decomposition leaves alone.
LETTERS = {"Þ": "Th", "þ": "th", "Ð": "D", "ð": "d", "Æ": "AE", "æ": "ae", "Ø": "O",
           "ø": "o", "ß": "ss", "Ł": "L", "ł": "l", "Đ": "D", "đ": "d", "Œ": "OE",
           "œ": "oe", "ı": "i"}

# Country names in the station descriptions that iso-codes spells otherwise.
COUNTRY_ALIASES = {
    "United States of America": "US", "Korea, South": "KR", "South Korea": "KR",
    "Korea, North": "KP", "North Korea": "KP", "Russia": "RU", "Iran": "IR",
    "Syria": "SY", "Vietnam": "VN", "Viet Nam": "VN", "Laos": "LA", "Bolivia": "BO",
    "Venezuela": "VE", "Tanzania": "TZ", "Moldova": "MD", "Taiwan": "TW",
    "Czech Republic": "CZ", "Macedonia": "MK", "Burma": "MM", "Brunei": "BN",
    "Cape Verde": "CV", "Ivory Coast": "CI", "Cote D'Ivoire": "CI", "Swaziland": "SZ",
    "Micronesia": "FM", "Turkey": "TR", "Congo": "CG", "Zaire": "CD",
    "Democratic Republic of the Congo": "CD", "Falkland Islands": "FK",
    "Virgin Islands": "VI", "Palestine": "PS", "Kosovo": "XK",
    "Macedonia, The Republic Of": "MK", "Congo, Republic Of The": "CG",
    "Congo, Democratic Republic Of The": "CD", "Macau": "MO",
    "Reunion": "RE", "Saint Helena": "SH", "Falkland Islands, Islas Malvinas": "FK",
    "South Georgia And The Islands": "GS",
    # Withdrawn codes, for countries the source still names.
    "Netherlands Antilles": "AN", "Serbia And Montenegro": "CS",
}

# Canadian provinces as the station names end in them ("Toronto Pearson Ont.").
# Canadian provinces as the descriptions write them, after the name
# ("Granby, Quebec") or at its end ("Toronto Pearson Ont.").
PROVINCES = [
    ("NT", r"N\.? ?W\.? ?T\.?|Northwest Territories"), ("BC", r"B\.? ?C\.?|British Columbia"),
    ("NS", r"N\.? ?S\.?|Nova Scotia"), ("NB", r"N\.? ?B\.?|New Brunswick"),
    ("PE", r"P\.? ?E\.? ?I\.?|Prince Edward Island"), ("ON", r"Ont\.?|ON|Ontario"),
    ("QC", r"Que\.?|QC|Quebec"), ("AB", r"Alta\.?|AB|Alberta"), ("SK", r"Sask\.?|SK|Saskatchewan"),
    ("MB", r"Man\.?|MB|Manitoba"), ("NL", r"Nfld\.?|NL|Newfoundland( and Labrador)?"),
    ("NU", r"NU|Nunavut"), ("YT", r"Yukon|YT")]
PROVINCE_PART = [(code, re.compile(r"(" + pattern + r")", re.I)) for code, pattern in PROVINCES]
PROVINCE_AT_END = [(code, re.compile(r"[ ,]+(" + pattern + r")$", re.I))
                   for code, pattern in PROVINCES]

PLACE_SUFFIX = re.compile(
    r"\s+(city|town|village|borough|municipality|corporation|metro township|urban county|"
    r"(unified|consolidated|metropolitan) government|\(balance\))$")
EXCLUDED_PLACES = re.compile(r"\s(CDP|comunidad|zona urbana)$")


# ---------------------------------------------------------------- reading

def read_ini(path):
    """The sections of one gzipped INI-style file, in file order."""
    sections = {}
    current = None
    with gzip.open(path, "rt", encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                current = sections.setdefault(line.strip("[]"), {})
            elif current is not None and " = " in line:
                key, value = line.split(" = ", 1)
                current[key] = value
    return sections


def point(value):
    """Degrees (lat, lon) from a "(lat, lon)" pair in radians, or None."""
    if not value or value == "None":
        return None
    lat, lon = (float(x) for x in value.strip("()").split(","))
    return math.degrees(lat), math.degrees(lon)


def nearest(value):
    """The code of a "('code', distance)" pair, upper case; "--" when none."""
    match = re.match(r"\('([^']+)'", value or "")
    return match.group(1).upper() if match else "--"


def country_codes(iso_path):
    """Country names (and their own codes) to two-letter codes."""
    with open(iso_path, encoding="utf-8") as f:
        entries = json.load(f)["3166-1"]
    codes = {}
    for entry in entries:
        for key in ("name", "common_name", "official_name"):
            if key in entry:
                codes[entry[key].lower()] = entry["alpha_2"]
        codes[entry["alpha_2"].lower()] = entry["alpha_2"]
    codes["xk"] = "XK"  # Kosovo: a user-assigned code, absent from the standard
    for name, code in COUNTRY_ALIASES.items():
        codes.setdefault(name.lower(), code)
    return codes


# ---------------------------------------------------------------- text

def ascii_text(text):
    """The text in plain ASCII: accents dropped, a few letters spelt out."""
    text = "".join(LETTERS.get(c, c) for c in text)
    text = unicodedata.normalize("NFKD", text)
    return "".join(c for c in text if 32 <= ord(c) < 127)


def words_of(text):
    """The words of a name in ASCII; punctuation other than ' . - separates."""
    return re.sub(r"[^A-Za-z0-9'.-]", " ", ascii_text(text)).split()


def field(words):
    """Words joined by "_" into one blank-free field."""
    return "_".join(w for w in words if w) or "--"


def fit(name, width):
    """A "_"-joined name cut to `width`, at a word end where one is near."""
    if len(name) <= width:
        return name
    cut = name.rfind("_", 0, width + 1)
    return name[:cut] if cut >= width // 2 else name[:width]


def fmt_deg(value):
    return f"{value:.4f}"


# ---------------------------------------------------------------- stations

def station_place(description, codes):
    """(name words, state, country code) of a station description."""
    if description.startswith("unknown station in "):
        country = description[len("unknown station in "):]
        return [], "--", codes.get(country.lower(), "--")
    parts = [p.strip() for p in description.split(",")]
    if parts[-1] == "The":  # "Gambia, The"
        parts.pop()
    region = "--"
    for take in (2, 1):  # "Korea, South" spans two parts
        if len(parts) > take:
            code = codes.get(", ".join(parts[-take:]).lower())
            if code:
                region = code
                parts = parts[:-take]
                break
    state = "--"
    if len(parts) > 1 and re.fullmatch(r"[A-Z0-9]{1,2}", parts[-1]):
        state = parts.pop()
    elif region == "CA":
        state = canadian_province(parts)
    words = [w.strip("-") for w in words_of(parts[0]) if w.strip("-")]
    kept = [w for w in words if w.lower() not in AIRPORT_WORDS]
    return kept or words, state, region


def canadian_province(parts):
    """The province code of a Canadian station, taken out of `parts`; "--" if none."""
    if len(parts) > 1:
        for code, pattern in PROVINCE_PART:
            if pattern.fullmatch(parts[-1]):
                parts.pop()
                return code
    for code, pattern in PROVINCE_AT_END:
        if pattern.search(parts[0]):
            parts[0] = pattern.sub("", parts[0])
            return code
    return "--"


def station_priority(sid, station, iata, zone_stations):
    if point(station.get("location")) is None:
        return 9
    if sid in iata:
        if re.search(r"\bint(ernational|'?l)\b", station["description"], re.I):
            return 0
        return 1 if sid in zone_stations else 2
    return 3 if sid in zone_stations else 5


def station_records(stations, airports, zones, codes):
    iata = {a["station"] for a in airports.values() if "station" in a}
    zone_stations = {z["station"].split("'")[1] for z in zones.values() if "station" in z}
    lines = []
    for number, sid in enumerate(sorted(stations), start=1):
        station = stations[sid]
        words, state, region = station_place(station["description"], codes)
        name = fit(field(words) if words else "Unknown", NAME_WIDTH)
        where = point(station.get("location")) or (MISSING, MISSING)
        prior = station_priority(sid, station, iata, zone_stations)
        lines.append(f"{name:<20} {state:<2} {region:<2} {sid.upper():<9} {prior:<4} "
                     f"{fmt_deg(where[0]):>10} {fmt_deg(where[1]):>10} {MISSING_ELEV:>5} "
                     f"{MISSING:>6} {number:>5}\n")
    return lines


# ---------------------------------------------------------------- raw tables

def table(title, columns, rows):
    """The lines of a raw table: three header lines, column names, rows."""
    widths = [max(len(str(r[i])) for r in rows + [columns]) for i in range(len(columns))]

    def line(values):
        text = " ".join(str(v).ljust(w) for v, w in zip(values, widths)).rstrip() + "\n"
        if len(text) > LINE_LIMIT or any(" " in str(v) or not str(v) for v in values):
            sys.exit(f"make_data: bad row {values!r}")
        return text

    head = [title + "\n", NOTICE + "\n", "-" * 72 + "\n", line(columns)]
    return head + [line(r) for r in rows]


def located(entry):
    where = point(entry.get("centroid")) or (MISSING, MISSING)
    return fmt_deg(where[0]), fmt_deg(where[1])


def place_name(description):
    """(name, state) of a gazetteer description such as "Chicago city, IL"."""
    name, _, state = description.rpartition(", ")
    for _ in range(2):
        name = PLACE_SUFFIX.sub("", name)
    return fit(field(words_of(name)), RAW_NAME_WIDTH), state


def fips_rows(places, digits, wanted=lambda description: True):
    rows = []
    for key in sorted(places):
        code = key[len("fips"):]
        entry = places[key]
        if len(code) != digits or not wanted(entry["description"]):
            continue
        name, state = place_name(entry["description"])
        rows.append([code, name, state, *located(entry), nearest(entry.get("station")),
                     nearest(entry.get("zone"))])
    return rows


def zone_rows(zones):
    rows = []
    for key in sorted(zones):
        entry = zones[key]
        name = entry["description"].split(",")[0]
        rows.append([key.upper(), fit(field(words_of(name)), RAW_NAME_WIDTH),
                     key[:2].upper(),
                     *located(entry), nearest(entry.get("station"))])
    return rows


def state_rows(county_rows, iso2_path):
    """One row per state: its name, FIPS code and the mean of its counties' centroids."""
    with open(iso2_path, encoding="utf-8") as f:
        names = {e["code"][3:]: e["name"] for e in json.load(f)["3166-2"]
                 if e["code"].startswith("US-")}
    states = {}
    for code, _, st, lat, lon, *_ in county_rows:
        states.setdefault(st, (code[:2], []))[1].append((float(lat), float(lon)))
    rows = []
    for st in sorted(states):
        fips, points = states[st]
        lat = sum(p[0] for p in points) / len(points)
        lon = sum(p[1] for p in points) / len(points)
        name = field(words_of(names.get(st, st)))
        rows.append([st, name, fips, fmt_deg(lat), fmt_deg(lon)])
    return rows


# ---------------------------------------------------------------- main

def write(directory, name, lines):
    with open(os.path.join(directory, name), "w", encoding="ascii", newline="\n") as f:
        f.writelines(lines)


def main():
    parser = argparse.ArgumentParser(description="Build kemcity's bundled data.")
    parser.add_argument("--source", default="/usr/share/weather-util")
    parser.add_argument("--iso", default="/usr/share/iso-codes/json")
    parser.add_argument("output", nargs="?", default="data")
    args = parser.parse_args()

    src = lambda name: os.path.join(args.source, name)
    stations = read_ini(src("stations.gz"))
    zones = read_ini(src("zones.gz"))
    places = read_ini(src("places.gz"))
    airports = read_ini(src("airports.gz"))
    codes = country_codes(os.path.join(args.iso, "iso_3166-1.json"))

    os.makedirs(args.output, exist_ok=True)
    write(args.output, "sao.cty", station_records(stations, airports, zones, codes))
    incorporated = lambda description: not EXCLUDED_PLACES.search(description.rpartition(",")[0])
    place_columns = ["ID", "Name", "ST", "Lat", "Lon", "Station", "Zone"]
    write(args.output, "cities.raw",
          table("Incorporated places of the United States (U.S. Census gazetteer)",
                place_columns, fips_rows(places, 7, incorporated)))
    counties = fips_rows(places, 5)
    write(args.output, "counties.raw",
          table("Counties and county equivalents (U.S. Census gazetteer)", place_columns,
                counties))
    write(args.output, "states.raw",
          table("States and territories (mean of their counties' centroids)",
                ["ST", "Name", "ID", "Lat", "Lon"],
                state_rows(counties, os.path.join(args.iso, "iso_3166-2.json"))))
    write(args.output, "zones.raw",
          table("Public forecast zones (National Weather Service)",
                ["ID", "Name", "ST", "Lat", "Lon", "Station"], zone_rows(zones)))


if __name__ == "__main__":
    main()
